#include "library/convert.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <cstring>
#include <vector>

#include "audiolib/encode.h"
#include "core/state.h"
#include "library/file_ops.h"
#include "output/output.h"
#include "platform/clock.h"
#include "platform/prompt.h"

namespace library {

namespace {

constexpr uint32_t kTransferBytes = 10000;

uint32_t LE(const unsigned char* p, int n) {
    uint32_t v = 0;
    for (int i = n - 1; i >= 0; --i)
        v = (v << 8) | p[i];
    return v;
}

bool ReadAt(int fd, uint64_t at, void* buf, size_t n) {
    ssize_t r = ::pread(fd, buf, n, static_cast<off_t>(at));
    return r == static_cast<ssize_t>(n);
}

class Fd {
  public:
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd() {
        if (fd_ >= 0) ::close(fd_);
    }
    int get() const { return fd_; }

  private:
    int fd_;
};

} // namespace

bool ReadWavPcm(const std::string& path, WavPcm* out) {
    Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0) return false;
    struct stat st;
    if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    const uint64_t size = static_cast<uint64_t>(st.st_size);
    unsigned char head[12];
    if (!ReadAt(fd.get(), 0, head, 12) || std::memcmp(head, "RIFF", 4) != 0 ||
        std::memcmp(head + 8, "WAVE", 4) != 0)
        return false;
    WavPcm w;
    bool haveFmt = false;
    uint64_t at = 12;
    while (at + 8 <= size) {
        unsigned char ch[8];
        if (!ReadAt(fd.get(), at, ch, 8)) return false;
        const uint64_t len = LE(ch + 4, 4);
        const uint64_t body = at + 8;
        if (std::memcmp(ch, "fmt ", 4) == 0) {
            unsigned char f[16];
            if (len < 16 || !ReadAt(fd.get(), body, f, 16)) return false;
            w.formatTag = static_cast<uint16_t>(LE(f, 2));
            w.channels = static_cast<uint16_t>(LE(f + 2, 2));
            w.sampleRate = LE(f + 4, 4);
            w.bitsPerSample = static_cast<uint16_t>(LE(f + 14, 2));
            haveFmt = true;
        } else if (std::memcmp(ch, "data", 4) == 0) {
            if (!haveFmt) return false;
            w.dataOffset = body;
            // A header written by a recorder that was stopped hard may claim
            // more than the file holds.
            w.dataBytes = std::min<uint64_t>(len, size - body);
            if ((w.formatTag != 1 && w.formatTag != 0xFFFE) || w.channels == 0 || w.channels > 8 ||
                w.sampleRate == 0 || (w.bitsPerSample != 8 && w.bitsPerSample != 16))
                return false;
            const uint64_t frame = w.channels * (w.bitsPerSample / 8u);
            w.dataBytes -= w.dataBytes % frame;
            *out = w;
            return true;
        }
        at = body + len + (len & 1); // chunks are padded to even sizes
    }
    return false;
}

TFormConvert::TFormConvert(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowStaysOnTopHint) {
    setWindowTitle("Converting WAV to MP3");
    setFixedSize(319, 137);
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, QColor(228, 233, 231));
    setPalette(pal);
    LabSource = new QLabel("Source:", this);
    LabSource->move(6, 6);
    LabTarget = new QLabel("Target:", this);
    LabTarget->move(6, 24);
    Label1 = new QLabel("Converting... ", this);
    Label1->move(6, 46);
    for (QLabel* l : {LabSource, LabTarget, Label1})
        l->resize(307, 16);
    ProgressBar1 = new QProgressBar(this);
    ProgressBar1->setGeometry(6, 60, 307, 21);
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setTextVisible(false);
    BtnCancel = new QPushButton("Cancel", this);
    BtnCancel->move(122, 102);
    connect(BtnCancel, &QPushButton::clicked, this, [this] { BtnCancelClick(); });
}

void TFormConvert::BtnCancelClick() {
    IsConverting = false;
    close();
}

void TFormConvert::closeEvent(QCloseEvent* e) {
    if (IsConverting)
        e->ignore();
    else
        e->accept();
}

void TFormConvert::reject() {
    if (!IsConverting) QDialog::reject();
}

void TFormConvert::Wave2MP3() {
    const std::string source = core::Session.SelectedFile;
    const std::string target = FileOps.ConvertTarget;
    LabSource->setText(QString::fromStdString("Source: " + FileNameOf(source)));
    LabTarget->setText(QString::fromStdString("Target:  " + FileNameOf(target)));
    ProgressBar1->setValue(0);
    Label1->setText("Converting... ");

    IsConverting = true;
    WavPcm wav;
    const bool readable = ReadWavPcm(source, &wav);
    Fd in(readable ? ::open(source.c_str(), O_RDONLY | O_CLOEXEC) : -1);
    audiolib::HSTREAM feed = 0;
    audiolib::HENCODE encoder = 0;
    if (in.get() >= 0) {
        feed = audiolib::StreamCreate(wav.sampleRate, wav.channels,
                                      wav.bitsPerSample == 8 ? audiolib::SAMPLE_8BITS : 0, nullptr,
                                      nullptr);
        const std::string commandLine = output::BuildLameCommandLine(target);
        encoder = feed ? audiolib::Encode_Start(feed, commandLine, audiolib::ENCODE_PAUSE) : 0;
    }
    if (in.get() < 0)
        platform::CurrentPrompt().Show(platform::MsgKind::Error,
                                       "Could not read " + FileNameOf(source) + " as a WAV file.");
    else if (!encoder)
        platform::CurrentPrompt().Show(platform::MsgKind::Error, "Could not start encoding");

    bool encoderFailed = false;
    std::vector<unsigned char> buffer(kTransferBytes);
    uint64_t position = 0;
    while (in.get() >= 0 && position < wav.dataBytes) {
        const size_t want =
            static_cast<size_t>(std::min<uint64_t>(kTransferBytes, wav.dataBytes - position));
        ssize_t got =
            ::pread(in.get(), buffer.data(), want, static_cast<off_t>(wav.dataOffset + position));
        if (got <= 0) break; // the file shrank under us: what is there is converted
        position += static_cast<uint64_t>(got);
        if (encoder && !encoderFailed &&
            !audiolib::Encode_Write(feed, buffer.data(), static_cast<uint32_t>(got)))
            encoderFailed = true;

        platform::ProcessEvents();
        if (!IsConverting) break;

        const int percent = static_cast<int>(position * 100 / wav.dataBytes);
        ProgressBar1->setValue(percent);
        Label1->setText(QString("Converting file ...%1%").arg(percent));
        if (onProgress) onProgress(percent);
        if (!IsConverting) break;
    }

    if (feed) {
        if (encoder && !audiolib::Encode_Stop(feed)) encoderFailed = true;
        audiolib::StreamFreeDummy(feed);
    }
    if (!IsConverting) {
        ::unlink(target.c_str());
    } else if (encoder && encoderFailed) {
        // An encoder that died leaves a cut-off file that would pass for the
        // whole recording.
        ::unlink(target.c_str());
        platform::CurrentPrompt().Show(platform::MsgKind::Error,
                                       "The MP3 encoder stopped before the end of " +
                                           FileNameOf(source) + "; no MP3 file was written.");
    }
    IsConverting = false;
    close();
}

TFormConvert& FormConvert() {
    static TFormConvert* form = new TFormConvert();
    return *form;
}

} // namespace library
