#include "playback/player.h"

#include <QCloseEvent>
#include <QCursor>
#include <QFileInfo>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QMouseEvent>
#include <algorithm>
#include <cmath>

#include "audiolib/stream.h"
#include "core/rounding.h"
#include "core/settings.h"
#include "core/state.h"
#include "mainwindow/hint.h"
#include "mainwindow/images.h"
#include "mainwindow/skin_button.h"
#include "platform/prompt.h"

namespace playback {

PlayerState Player;
TFormPlayer* FormPlayer = nullptr;

namespace {

constexpr int kPosBarLeft = 24, kVolBarLeft = 211;
constexpr int kSliderTop = 181, kBarTop = 189, kBarHeight = 5;
constexpr int kTitleLimit = 260;
const char* const kZeroTime = "00:00:00";
const char* const kPosHint = "Playback Position - ";

QFont FormFont() {
    QFont f("Liberation Sans");
    f.setPixelSize(11);
    return f;
}

std::string TwoDigits(uint16_t v) {
    std::string s = std::to_string(v);
    if (s.size() > 2) s.resize(2);
    if (v < 10) s = "0" + s;
    return s;
}

// A picture that reports mouse moves (and, for the slider handles, presses
// and releases) to the window.
class MouseLabel : public QLabel {
  public:
    using QLabel::QLabel;
    std::function<void(Qt::MouseButton, int)> onDown;
    std::function<void(int)> onMove;
    std::function<void()> onUp;

  protected:
    void mousePressEvent(QMouseEvent* e) override {
        if (onDown) onDown(e->button(), static_cast<int>(e->position().x()));
        e->accept();
    }
    void mouseMoveEvent(QMouseEvent* e) override {
        if (onMove) onMove(static_cast<int>(e->position().x()));
        e->accept();
    }
    void mouseReleaseEvent(QMouseEvent* e) override {
        if (onUp) onUp();
        e->accept();
    }
};

bool HasFile() {
    return !core::Session.SelectedFile.empty();
}

uint32_t Low32(uint64_t v) {
    return static_cast<uint32_t>(v & 0xFFFFFFFFu);
}

} // namespace

std::string SecondsToTimeText(double s) {
    // A failed length (negative) or absurd value must not reach the unsigned casts.
    if (!(s >= 0)) s = 0;
    if (s > 65535.0 * 3600) s = 65535.0 * 3600;
    double hd = std::trunc(s / 3600);
    double md = std::trunc((s - hd * 3600) / 60);
    double sd = core::RoundEven(s - hd * 3600 - md * 60);
    uint16_t h = static_cast<uint16_t>(hd), m = static_cast<uint16_t>(md),
             sec = static_cast<uint16_t>(std::clamp(sd, 0.0, 60.0));
    if (sec == 60) {
        sec = 0;
        ++m;
    }
    if (m == 60) {
        m = 0;
        ++h;
    }
    return TwoDigits(h) + ":" + TwoDigits(m) + ":" + TwoDigits(sec);
}

TFormPlayer::TFormPlayer(PlayerPeers& peers, QWidget* parent) : QWidget(parent), peers_(peers) {
    FormPlayer = this;
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    setWindowTitle(QString::fromStdString(core::Session.SelectedFile));
    setFixedSize(332, 269);
    setFont(FormFont());
    setFocusPolicy(Qt::StrongFocus);

    auto* bg = new MouseLabel(this);
    bg->setPixmap(mainwindow::Form4().Picture("ImagePlayer"));
    bg->setGeometry(0, 0, 333, 270);
    bg->setMouseTracking(true);
    bg->onMove = [this](int) { ResetPlayerHover(); };
    ImagePlayer = bg;

    PaintScreen = new QLabel(this);
    PaintScreen->setGeometry(24, 62, 279, 111);
    QPalette sp = PaintScreen->palette();
    sp.setColor(QPalette::Window, mainwindow::SkinColor);
    PaintScreen->setPalette(sp);
    PaintScreen->setAutoFillBackground(true);

    ImageFileProp = new QLabel(this);
    ImageFileProp->setGeometry(28, 33, 16, 16);
    ImageFileProp->setToolTip("File Properties");
    auto label = [this](const char* text, int x, int y, QColor color, const char* hint) {
        auto* l = new QLabel(text, this);
        l->move(x, y);
        QPalette p = l->palette();
        p.setColor(QPalette::WindowText, color);
        l->setPalette(p);
        if (hint) l->setToolTip(hint);
        l->adjustSize();
        return l;
    };
    LabFile = label("", 44, 35, mainwindow::PlateTextColor, "File Properties");
    LabProp = label("", 44, 35, QColor(0, 90, 0), "File Properties");
    LabLength = label("Duration:", 132, 226, mainwindow::AccentColor, nullptr);
    LabTotalTime = label(kZeroTime, 184, 226, mainwindow::AccentColor, "File Length");
    LabTime = label(kZeroTime, 184, 241, mainwindow::AccentColor, "Playback Position");

    auto button = [this](const char* base, QPoint at, const char* hint) {
        auto* b = new mainwindow::SkinButton(this, QString(base) + "1", QString(base) + "2", at);
        b->setToolTip(hint);
        b->onHover = [] { core::Session.HoverPending = true; };
        return b;
    };
    ImagePlay = button("ImagePlay", {24, 224}, "Play");
    ImagePlay->onClick = [this] { ImagePlayClick(); };
    ImagePause = button("ImagePause", {58, 224}, "Pause/Resume");
    ImagePause->onClick = [this] { ImagePauseClick(); };
    ImageStop = button("ImageStop", {92, 224}, "Stop");
    ImageStop->onClick = [this] { ImageStopClick(); };
    ImageClose = button("ImageClose", {308, 4}, "Close");
    ImageClose->onClick = [this] {
        core::Session.IsPaused = false;
        close();
    };
    ImageCloseP = button("ImageCloseP", {285, 225}, "Close");
    ImageCloseP->onClick = ImageClose->onClick;

    auto bar = [this](int left) {
        auto* b = new MouseLabel(this);
        b->setPixmap(mainwindow::Form4().Picture("ImageVolLine"));
        b->setScaledContents(true);
        b->setGeometry(left, kBarTop, 0, kBarHeight);
        b->setMouseTracking(true);
        b->onMove = [this](int) { ResetPlayerHover(); };
        b->hide();
        return b;
    };
    ImagePos = bar(kPosBarLeft);
    ImageVol = bar(kVolBarLeft);
    auto handle = [this](int left, const char* hint) {
        auto* h = new MouseLabel(this);
        h->setPixmap(mainwindow::Form4().Picture("ImageHandle1"));
        h->setGeometry(left, kSliderTop, 11, 21);
        h->setMouseTracking(true);
        h->setToolTip(hint);
        return h;
    };
    auto* pp = handle(24, nullptr); // the hint window shows the target time instead
    pp->onDown = [this](Qt::MouseButton b, int x) { ImagePPMouseDown(b, x); };
    pp->onMove = [this](int x) { ImagePPMouseMove(x); };
    pp->onUp = [this] { ImagePPMouseUp(); };
    ImagePP = pp;
    auto* pv = handle(208, "Playback Volume");
    pv->onDown = [this](Qt::MouseButton b, int x) { ImagePVMouseDown(b, x); };
    pv->onMove = [this](int x) { ImagePVMouseMove(x); };
    pv->onUp = [this] { ImagePVMouseUp(); };
    ImagePV = pv;
    mainwindow::MakeAccessibleSlider(
        pp, {"Playback Position",
             0,
             100,
             [this] {
                 const int range = std::max(PosMax - PosMin, 1);
                 return std::clamp((ImagePP->x() - PosMin) * 100.0 / range, 0.0, 100.0);
             },
             {}});
    mainwindow::MakeAccessibleSlider(
        pv, {"Playback Volume", 0, 100, [] { return core::Settings.Volume * 100.0; }, {}});

    FormHint = &mainwindow::FormHint();

    spectrum_ = std::make_unique<TSpectrum>(PaintScreen->width(), PaintScreen->height());
    Spectrum = spectrum_.get();
    SetSliderRanges();
    core::Settings.Volume = std::clamp(core::Settings.Volume, 0.0f, 1.0f);
    if (!(core::Settings.Volume == core::Settings.Volume)) core::Settings.Volume = 0;
    ImagePV->move(core::RoundEvenInt(core::Settings.Volume / Player.VolScale) + VolMin, kSliderTop);
    SetVolBar();

    Timer1.setInterval(33);
    connect(&Timer1, &QTimer::timeout, this, [this] { Timer1Timer(); });
    TimerStatus.setInterval(100);
    connect(&TimerStatus, &QTimer::timeout, this, [this] { TimerStatusTimer(); });
    Timer1.start();
    TimerStatus.start();
}

TFormPlayer::~TFormPlayer() {
    if (FormPlayer == this) FormPlayer = nullptr;
}

void TFormPlayer::SetSliderRanges() {
    PosMin = 24;
    PosMax = 182;
    VolMin = 208;
    VolMax = 294;
    Player.PosScale = static_cast<float>(Player.PlayLengthBytes) / 158.0f;
    Player.VolScale = 1.0f / 86.0f;
}

void TFormPlayer::SetPosBar() {
    int w = ImagePP->x() - kPosBarLeft;
    ImagePos->resize(std::max(w, 0), kBarHeight);
    ImagePos->setVisible(w > 0);
}

void TFormPlayer::SetVolBar() {
    int w = ImagePV->x() - kVolBarLeft;
    ImageVol->resize(std::max(w, 0), kBarHeight);
    ImageVol->setVisible(w > 0);
}

void TFormPlayer::ResetPlayerHover() {
    if (core::Session.HoverPending) {
        for (auto* b : {ImageClose, ImagePlay, ImagePause, ImageStop, ImageCloseP})
            b->RestoreNormal();
        ImagePP->setPixmap(mainwindow::Form4().Picture("ImageHandle1"));
        ImagePV->setPixmap(mainwindow::Form4().Picture("ImageHandle1"));
    }
    core::Session.HoverPending = false;
    FormHint->hide();
}

void TFormPlayer::HandleHover(QLabel* handle) {
    handle->setPixmap(mainwindow::Form4().Picture("ImageHandle2"));
    core::Session.HoverPending = true;
}

void TFormPlayer::PlayFile() {
    using namespace audiolib;
    if (Player.PlayStream) {
        ChannelStop(Player.PlayStream);
        StreamFree(Player.PlayStream);
    }
    Player.PlayStream = StreamCreateFile(core::Session.SelectedFile, 0, 0, 0);
    const HSTREAM s = Player.PlayStream;
    // A file that cannot be opened leaves a clear, silent state.
    Player.PlayLengthBytes = s ? Low32(ChannelGetLength(s, POS_BYTE)) : 0;
    double duration = s ? ChannelBytes2Seconds(s, Player.PlayLengthBytes) : 0;
    LabTotalTime->setText(QString::fromStdString(SecondsToTimeText(duration)));
    LabTotalTime->adjustSize();
    LabTime->setText(kZeroTime);
    LabTime->adjustSize();

    QFontMetrics fm(font());
    QString name = QFileInfo(QString::fromStdString(core::Session.SelectedFile)).fileName();
    QString info = "  [" + QString::fromStdString(core::Session.SelectedFileInfo) + "]";
    if (fm.horizontalAdvance(name) > kTitleLimit) {
        while (!name.isEmpty() && fm.horizontalAdvance(name) > kTitleLimit)
            name.chop(1);
        LabProp->setText("");
    } else {
        while (!info.isEmpty() &&
               fm.horizontalAdvance(info) > kTitleLimit - fm.horizontalAdvance(name))
            info.chop(1);
        LabProp->setText(info);
    }
    LabFile->setText(name);
    LabFile->adjustSize();
    LabProp->adjustSize();
    LabProp->move(LabFile->x() + fm.horizontalAdvance(name), LabProp->y());

    QString ext = QFileInfo(QString::fromStdString(core::Session.SelectedFile)).suffix().toUpper();
    const char* icon = ext == "MP3"    ? "ImageMP3"
                       : ext == "WAV"  ? "ImageWav"
                       : ext == "OGG"  ? "ImageOgg"
                       : ext == "WMA"  ? "ImageWMA"
                       : ext == "FLAC" ? "ImageFlac"
                                       : nullptr;
    if (icon) ImageFileProp->setPixmap(mainwindow::Form4().Picture(icon));

    ResetPlayerHover();
    SetSliderRanges();
    Player.PendingSeek = -1;
    ImagePP->move(PosMin, kSliderTop);
    SetPosBar();
    ImagePV->move(core::RoundEvenInt(core::Settings.Volume / Player.VolScale) + VolMin, kSliderTop);
    SetVolBar();
    if (!s) {
        // A silent player alone would look like a recording with nothing in it.
        platform::CurrentPrompt().Show(platform::MsgKind::Warning,
                                       "Can not play " + core::Session.SelectedFile +
                                           "\nThe file is missing or is not a sound file that "
                                           "can be read.");
        return;
    }
    ChannelSetAttribute(s, ATTRIB_VOL, core::Settings.Volume);
    if (ChannelPlay(s, true)) {
        core::Session.IsPlaying = true;
        // A file that starts playing is not paused, whoever started it.
        core::Session.IsPaused = false;
    }
}

void TFormPlayer::FreePlayStream() {
    if (!Player.PlayStream) return;
    audiolib::ChannelStop(Player.PlayStream);
    audiolib::StreamFree(Player.PlayStream);
    // The freed handle is not kept: a later stream could be given its number.
    Player.PlayStream = 0;
}

void TFormPlayer::StopPlaying() {
    if (!HasFile()) return;
    audiolib::ChannelStop(Player.PlayStream);
    core::Session.IsPaused = false;
}

void TFormPlayer::Timer1Timer() {
    if (!HasFile() || audiolib::ChannelIsActive(Player.PlayStream) != audiolib::ACTIVE_PLAYING)
        return;
    audiolib::ChannelGetData(Player.PlayStream, Player.FftBuffer.data(), audiolib::DATA_FFT1024);
    Spectrum->Draw(PaintScreen, Player.FftBuffer, 5, -3);
}

void TFormPlayer::TimerStatusTimer() {
    using namespace audiolib;
    if (!HasFile()) return;
    const uint32_t active = ChannelIsActive(Player.PlayStream);
    if (active == ACTIVE_STOPPED && !core::Session.IsDragging) {
        core::Session.IsPlaying = false;
        ImagePP->move(PosMin, kSliderTop);
        SetPosBar();
        LabTime->setText(kZeroTime);
        LabTime->adjustSize();
        Spectrum->Draw(PaintScreen, Player.FftBuffer, 5, -3);
    } else if (active == ACTIVE_PLAYING) {
        uint32_t pos = Low32(ChannelGetPosition(Player.PlayStream, POS_BYTE));
        QString t =
            QString::fromStdString(SecondsToTimeText(ChannelBytes2Seconds(Player.PlayStream, pos)));
        LabTime->setText(t);
        LabTime->adjustSize();
        if (!core::Session.IsDragging) FormHint->SetText(kPosHint + t);
        if (Player.PendingSeek == -1 && Player.PosScale > 0)
            ImagePP->move(core::RoundEvenInt(pos / Player.PosScale) + PosMin, kSliderTop);
        SetPosBar();
    }
}

void TFormPlayer::ImagePPMouseDown(Qt::MouseButton button, int X) {
    if (button == Qt::LeftButton) {
        core::Session.IsDragging = true;
        Player.DragStartX = X;
        Player.PendingSeek = static_cast<int32_t>(
            Low32(audiolib::ChannelGetPosition(Player.PlayStream, audiolib::POS_BYTE)) &
            0x7FFFFFFFu);
    } else {
        core::Session.IsDragging = false;
    }
}

void TFormPlayer::ImagePPMouseMove(int X) {
    HandleHover(ImagePP);
    FormHint->move(QCursor::pos() + QPoint(16, 16));
    FormHint->show();
    if (core::Session.IsDragging) {
        int left = std::clamp(ImagePP->x() + X - Player.DragStartX, PosMin, PosMax);
        ImagePP->move(left, kSliderTop);
        SetPosBar();
        Player.PendingSeek = core::RoundEvenInt((left - PosMin) * Player.PosScale);
        double sec = Player.PlayStream
                         ? audiolib::ChannelBytes2Seconds(Player.PlayStream,
                                                          static_cast<uint64_t>(Player.PendingSeek))
                         : 0;
        FormHint->SetText(kPosHint + QString::fromStdString(SecondsToTimeText(sec)));
    }
    if (ImagePP->x() == PosMin) FormHint->SetText(QString(kPosHint) + kZeroTime);
}

void TFormPlayer::ImagePPMouseUp() {
    core::Session.IsDragging = false;
    if (!core::Session.IsPaused && HasFile() && Player.PlayStream &&
        audiolib::ChannelPlay(Player.PlayStream, true))
        core::Session.IsPlaying = true;
    if (Player.PendingSeek >= 0)
        audiolib::ChannelSetPosition(Player.PlayStream, static_cast<uint64_t>(Player.PendingSeek),
                                     audiolib::POS_BYTE);
    Player.PendingSeek = -1;
}

void TFormPlayer::ImagePVMouseDown(Qt::MouseButton button, int X) {
    core::Session.IsDragging = button == Qt::LeftButton;
    if (button == Qt::LeftButton) Player.DragStartX = X;
}

void TFormPlayer::ImagePVMouseMove(int X) {
    HandleHover(ImagePV);
    if (!core::Session.IsDragging) return;
    int left = std::clamp(ImagePV->x() + X - Player.DragStartX, VolMin, VolMax);
    ImagePV->move(left, kSliderTop);
    SetVolBar();
    core::Settings.Volume = std::clamp((left - VolMin) * Player.VolScale, 0.0f, 1.0f);
    audiolib::ChannelSetAttribute(Player.PlayStream, audiolib::ATTRIB_VOL, core::Settings.Volume);
}

void TFormPlayer::ImagePVMouseUp() {
    core::Session.IsDragging = false;
}

void TFormPlayer::ImagePlayClick() {
    core::Session.IsPaused = false;
    if (HasFile() && audiolib::ChannelPlay(Player.PlayStream, true)) core::Session.IsPlaying = true;
}

void TFormPlayer::ImagePauseClick() {
    if (!HasFile()) return;
    if (!core::Session.IsPaused) {
        audiolib::ChannelPause(Player.PlayStream);
        core::Session.IsPaused = true;
    } else {
        audiolib::ChannelPlay(Player.PlayStream, false);
        core::Session.IsPaused = false;
    }
}

void TFormPlayer::ImageStopClick() {
    if (!HasFile()) return;
    audiolib::ChannelStop(Player.PlayStream);
    core::Session.IsPaused = false;
}

void TFormPlayer::showEvent(QShowEvent* e) {
    QWidget::showEvent(e);
    peers_.EnableMainWindow(false);
    core::Session.IsPlayerShown = true;
    move(peers_.MainWindowPos() + QPoint(35, 15));
    ImagePos->resize(0, kBarHeight);
    ImagePos->hide();
    core::Session.HoverPending = true;
    ResetPlayerHover();
}

void TFormPlayer::closeEvent(QCloseEvent* e) {
    FreePlayStream();
    peers_.EnableMainWindow(true);
    core::Session.IsPlayerShown = false;
    core::Session.IsPaused = false;
    FormHint->hide();
    QWidget::closeEvent(e);
}

void TFormPlayer::keyPressEvent(QKeyEvent* e) {
    switch (e->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        PlayFile();
        break;
    case Qt::Key_Escape:
        close();
        break;
    case Qt::Key_Delete:
        close();
        peers_.FileDelete();
        break;
    default:
        QWidget::keyPressEvent(e);
        return;
    }
    e->accept();
}

} // namespace playback
