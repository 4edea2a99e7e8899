#include "dialogs/recsettings.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QFont>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QPainter>
#include <QPalette>
#include <QPixmap>
#include <QPushButton>
#include <QShowEvent>
#include <QSignalBlocker>
#include <QSlider>
#include <QTabBar>
#include <QTabWidget>
#include <charconv>

#include "audiolib/encode.h"
#include "capture/capture.h"
#include "core/rounding.h"
#include "core/settings.h"
#include "core/state.h"
#include "mainwindow/images.h"
#include "mainwindow/look.h"
#include "platform/capture_device.h"
#include "platform/prompt.h"

namespace dialogs {

TFormRecSettings* FormRecSettings = nullptr;

namespace {

const QStringList kMp3Rates = {"32",  "40",  "48",  "56",  "64",  "80",  "96",
                               "112", "128", "160", "192", "224", "256", "320"};
const QStringList kOggRates = {"48",  "56",  "64",  "80",  "96",  "112",
                               "128", "160", "192", "224", "256", "320"};
const QStringList kMp3Modes = {"stereo", "joint stereo", "dual channel", "mono"};
const QStringList kChannelItems = {"stereo", "mono"};
const QStringList kWavBits = {"16 bit", "8  bit"};
const int kWmaSteps[] = {20, 32, 48, 64, 96, 128, 160, 192, 256, 320};

// Device format bits that allow 48 and 96 kHz for each channel/bit layout.
constexpr uint32_t kFormat48S16 = 0x8000, kFormat96S16 = 0x80000;
constexpr uint32_t kFormat48M16 = 0x4000, kFormat96M16 = 0x40000;
constexpr uint32_t kFormat48S08 = 0x2000, kFormat96S08 = 0x20000;
constexpr uint32_t kFormat48M08 = 0x1000, kFormat96M08 = 0x10000;

const QColor kDisabledText(122, 134, 139);
const QColor kTickColor(100, 100, 100);

// A light groove and an accent handle; the handle width fixes where each
// position lies, which the tick marks below the dialog's sliders rely on.
const char* kSliderStyle =
    "QSlider::groove:horizontal { height: 4px; background: rgb(30, 38, 41);"
    " border: 1px solid rgb(96, 112, 118); border-radius: 2px; }"
    "QSlider::handle:horizontal { width: %1px; margin: -6px 0; border-radius: 3px;"
    " background: rgb(160, 200, 255); border: 1px solid rgb(20, 30, 34); }"
    "QSlider::handle:horizontal:disabled { background: rgb(110, 122, 127); }";

QLabel* MakeLabel(QWidget* parent, const char* name, const QString& text, int x, int y,
                  int w = 150) {
    auto* l = new QLabel(text, parent);
    l->setObjectName(QString::fromLatin1(name));
    l->setGeometry(x, y, w, 17);
    return l;
}

QComboBox* MakeCombo(QWidget* parent, const char* name, const QStringList& items, int x, int y,
                     int w) {
    auto* c = new QComboBox(parent);
    c->setObjectName(QString::fromLatin1(name));
    c->setEditable(false);
    c->addItems(items);
    c->setCurrentIndex(-1);
    c->setGeometry(x, y, w, 22);
    return c;
}

QSlider* MakeSlider(QWidget* parent, const char* name, int max, QRect at, int handleWidth = 10) {
    auto* s = new QSlider(Qt::Horizontal, parent);
    s->setObjectName(QString::fromLatin1(name));
    s->setRange(0, max);
    s->setPageStep(1);
    s->setSingleStep(1);
    s->setStyleSheet(QString::fromLatin1(kSliderStyle).arg(handleWidth));
    s->setGeometry(at);
    return s;
}

QPixmap TabPicture(bool active) {
    QPixmap pm(16, 16);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    if (active) {
        p.setPen(QPen(mainwindow::AccentColor, 1.5));
        p.setBrush(mainwindow::AccentColor);
        p.drawEllipse(QRectF(3, 3, 10, 10));
        p.setPen(QPen(mainwindow::SkinColor, 2));
        p.drawLine(QPointF(5.5, 8), QPointF(7.5, 10));
        p.drawLine(QPointF(7.5, 10), QPointF(11, 5.5));
    } else {
        p.setPen(QPen(kDisabledText, 1.5));
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(QRectF(4, 4, 8, 8));
    }
    return pm;
}

void SelectText(QComboBox* c, const QString& text, int fallback) {
    const int i = c->findText(text);
    c->setCurrentIndex(i >= 0 ? i : fallback);
}

int ChannelsOf(const QComboBox* c) {
    return c->currentText() == "mono" ? 1 : 2;
}

// The selected number; an empty list or no selection keeps the stored value.
template <typename T> void ReadNumber(const QComboBox* c, T& target) {
    if (c->currentIndex() < 0) return;
    bool ok = false;
    const int v = c->currentText().toInt(&ok);
    if (ok) target = static_cast<T>(v);
}

bool NoRates(const std::vector<uint32_t>& rates) {
    return rates.empty() || rates.front() == 0;
}

void ReportUnavailable() {
    platform::CurrentPrompt().ShowCaptioned(platform::MsgKind::Error, "Error",
                                            "Unavailable Format Settings!");
}

} // namespace

QStringList WmaRateItems(const std::vector<uint32_t>& rates) {
    QStringList items;
    for (uint32_t r : rates) {
        if (r == 0) break;
        const uint32_t kbps = r / 1000;
        for (int step : kWmaSteps)
            if (kbps == static_cast<uint32_t>(step)) items << QString::number(kbps);
    }
    return items;
}

QString OggQualityText(float quality) {
    char buf[32];
    auto res = std::to_chars(buf, buf + sizeof buf, quality);
    return QStringLiteral("Quality - ") + QString::fromLatin1(buf, static_cast<int>(res.ptr - buf));
}

TFormRecSettings::TFormRecSettings(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint) {
    setObjectName(QStringLiteral("FormRecSettings"));
    setWindowTitle(QStringLiteral("Format Settings"));
    setFixedSize(345, 271);
    setModal(true);
    GetWmaRates = audiolib::WMA_EncodeGetRates;

    // The skin's dark surface with light text, so it matches the recorder.
    QPalette pal = mainwindow::DarkPalette();
    setPalette(pal);
    setAutoFillBackground(true);
    QFont font(QStringLiteral("Liberation Sans"));
    font.setPixelSize(12);
    setFont(font);

    ImageList1 = {QIcon(TabPicture(false)), QIcon(TabPicture(true))};

    PControlFormat = new QTabWidget(this);
    PControlFormat->setObjectName(QStringLiteral("PControlFormat"));
    PControlFormat->setGeometry(6, 6, 333, 226);
    PControlFormat->setIconSize(QSize(14, 14));
    PControlFormat->setUsesScrollButtons(false);
    PControlFormat->setElideMode(Qt::ElideNone);
    // Compact tabs, so all five fit in one row on the narrow dialog.
    // Only the tab bar is styled: a style sheet on the whole control would
    // hide the dialog's palette from the pages.
    PControlFormat->tabBar()->setStyleSheet(QStringLiteral(
        "QTabBar::tab { background: rgb(40, 51, 55); color: rgb(176, 188, 194); font-size: 11px;"
        " border: 1px solid rgb(96, 112, 118); border-bottom: none; padding: 3px 2px;"
        " width: 54px;"
        " margin-right: 1px; border-top-left-radius: 3px; border-top-right-radius: 3px; }"
        "QTabBar::tab:selected { background: rgb(53, 67, 72); color: rgb(224, 224, 232); }"
        "QTabBar::tab:hover { color: rgb(160, 200, 255); }"));
    auto addPage = [this](QWidget*& sheet, const char* name, const char* caption) {
        sheet = new QWidget;
        sheet->setObjectName(QString::fromLatin1(name));
        sheet->setAutoFillBackground(true);
        PControlFormat->addTab(sheet, ImageList1[0], QString::fromLatin1(caption));
    };
    addPage(TSheetMP3, "TSheetMP3", "MP3   ");
    addPage(TSheetOGG, "TSheetOGG", "OGG");
    addPage(TSheetWma, "TSheetWma", "WMA   ");
    addPage(TSheetWav, "TSheetWav", "WAV   ");
    addPage(TSheetFLAC, "TSheetFLAC", "FLAC");

    // MP3
    LabMP3BitRate = MakeLabel(TSheetMP3, "LabMP3BitRate", "Bitrate, kbps", 12, 8);
    CBoxMP3BitRate = MakeCombo(TSheetMP3, "CBoxMP3BitRate", kMp3Rates, 12, 26, 100);
    LabMP3Mode = MakeLabel(TSheetMP3, "LabMP3Mode", "Channel mode", 170, 8);
    CBoxMP3Mode = MakeCombo(TSheetMP3, "CBoxMP3Mode", kMp3Modes, 170, 26, 140);
    GBoxMP3_VBR = new QGroupBox(QStringLiteral("VBR - Variable Bit Rate"), TSheetMP3);
    GBoxMP3_VBR->setObjectName(QStringLiteral("GBoxMP3_VBR"));
    GBoxMP3_VBR->setGeometry(8, 57, 311, 136);
    ChBoxMP3VBR = new QCheckBox(QStringLiteral("Enable VBR"), GBoxMP3_VBR);
    ChBoxMP3VBR->setObjectName(QStringLiteral("ChBoxMP3VBR"));
    ChBoxMP3VBR->setGeometry(10, 20, 150, 20);
    LabMinBRate = MakeLabel(GBoxMP3_VBR, "LabMinBRate", "Min Bitrate", 10, 47, 70);
    CBoxMP3MinBRate = MakeCombo(GBoxMP3_VBR, "CBoxMP3MinBRate", kMp3Rates, 80, 44, 64);
    LabMaxBRate = MakeLabel(GBoxMP3_VBR, "LabMaxBRate", "Max Bitrate", 160, 47, 70);
    CBoxMP3MaxBRate = MakeCombo(GBoxMP3_VBR, "CBoxMP3MaxBRate", kMp3Rates, 232, 44, 64);
    LabVBRQuality = MakeLabel(GBoxMP3_VBR, "LabVBRQuality", "VBR Quality", 10, 94, 84);
    TBarMP3_VBR_Quality = MakeSlider(GBoxMP3_VBR, "TBarMP3_VBR_Quality", 8, {98, 92, 169, 20});
    LabBest = MakeLabel(GBoxMP3_VBR, "LabBest", "better", 98, 112, 60);
    LabWorst = MakeLabel(GBoxMP3_VBR, "LabWorst", "faster", 207, 112, 60);
    LabWorst->setAlignment(Qt::AlignRight | Qt::AlignVCenter);

    // OGG
    LabOggBitRate = MakeLabel(TSheetOGG, "LabOggBitRate", "Nominal Bitrate, kbps", 12, 8);
    CBoxOggRate = MakeCombo(TSheetOGG, "CBoxOggRate", kOggRates, 12, 26, 100);
    LabOggChannels = MakeLabel(TSheetOGG, "LabOggChannels", "Channels", 170, 8);
    CBoxOggChannels = MakeCombo(TSheetOGG, "CBoxOggChannels", kChannelItems, 170, 26, 100);
    GrBoxOgg_QualityMode = new QGroupBox(QStringLiteral("Quality Mode "), TSheetOGG);
    GrBoxOgg_QualityMode->setObjectName(QStringLiteral("GrBoxOgg_QualityMode"));
    GrBoxOgg_QualityMode->setGeometry(14, 62, 299, 118);
    ChBoxOggQuality = new QCheckBox(QStringLiteral("Enable"), GrBoxOgg_QualityMode);
    ChBoxOggQuality->setObjectName(QStringLiteral("ChBoxOggQuality"));
    ChBoxOggQuality->setGeometry(10, 20, 150, 20);
    LabOggQuality = MakeLabel(GrBoxOgg_QualityMode, "LabOggQuality", "Quality", 10, 46);
    TBarOGG_Quality = MakeSlider(GrBoxOgg_QualityMode, "TBarOGG_Quality", 10, {38, 66, 193, 20});
    TBarOGG_Quality->setToolTip(QStringLiteral("OGG Quality"));
    LabOggLow = MakeLabel(GrBoxOgg_QualityMode, "LabOggLow", "Low", 38, 86, 60);
    LabOggHigh = MakeLabel(GrBoxOgg_QualityMode, "LabOggHigh", "High", 171, 86, 60);
    LabOggHigh->setAlignment(Qt::AlignRight | Qt::AlignVCenter);

    // WMA
    LabWmaBitRate = MakeLabel(TSheetWma, "LabWmaBitRate", "Bitrate, kbps", 12, 8);
    CBoxWmaRate = MakeCombo(TSheetWma, "CBoxWmaRate", {}, 12, 26, 100);
    LabWmaChannels = MakeLabel(TSheetWma, "LabWmaChannels", "Channels", 170, 8);
    CBoxWmaChannels = MakeCombo(TSheetWma, "CBoxWmaChannels", kChannelItems, 170, 26, 100);

    // WAV
    LabWavSpsIn = MakeLabel(TSheetWav, "LabWavSpsIn", "Sample Rate, Hz", 12, 8);
    CBoxSpsWav = MakeCombo(TSheetWav, "CBoxSpsWav", {}, 12, 26, 100);
    LabWavChannels = MakeLabel(TSheetWav, "LabWavChannels", "Channels", 170, 8);
    CBoxWavChannel = MakeCombo(TSheetWav, "CBoxWavChannel", kChannelItems, 170, 26, 100);
    LabWavBits = MakeLabel(TSheetWav, "LabWavBits", "Bit Per Sample", 12, 62);
    CBoxWavBits = MakeCombo(TSheetWav, "CBoxWavBits", kWavBits, 12, 80, 100);

    // FLAC: a wider handle, so that position 0 sits 11 px into its slider.
    LabSpsFlac = MakeLabel(TSheetFLAC, "LabSpsFlac", "Sample Rate, Hz", 12, 8);
    CBoxSpsFlac = MakeCombo(TSheetFLAC, "CBoxSpsFlac", {}, 12, 26, 100);
    LabFlacChannels = MakeLabel(TSheetFLAC, "LabFlacChannels", "Channels", 170, 8);
    CBoxFlacChannel = MakeCombo(TSheetFLAC, "CBoxFlacChannel", kChannelItems, 170, 26, 100);
    LabFlacLevel = MakeLabel(TSheetFLAC, "LabFlacLevel", "Compression Level", 12, 66, 200);
    TBarFlac_Level = MakeSlider(TSheetFLAC, "TBarFlac_Level", 8, {50, 98, 201, 20}, 18);
    TBarFlac_Level->setToolTip(QStringLiteral("Compression Level"));
    LabFlacFast = MakeLabel(TSheetFLAC, "LabFlacFast", "Fast", 56, 118, 60);
    LabFlacBest = MakeLabel(TSheetFLAC, "LabFlacBest", "Best", 184, 118, 60);
    LabFlacBest->setAlignment(Qt::AlignRight | Qt::AlignVCenter);

    BitBtnOK = new QPushButton(QStringLiteral("OK"), this);
    BitBtnOK->setObjectName(QStringLiteral("BitBtnOK"));
    BitBtnOK->setGeometry(135, 240, 75, 25);
    BitBtnOK->setDefault(true);
    connect(BitBtnOK, &QPushButton::clicked, this, &QDialog::accept);

    // Lists react to the user's choice only (activated), never to the
    // selections the dialog itself makes while showing.
    connect(ChBoxMP3VBR, &QCheckBox::clicked, this, [this] { ChBoxMP3VBRClick(); });
    connect(ChBoxOggQuality, &QCheckBox::clicked, this, [this] { ChBoxOggQualityClick(); });
    connect(TBarOGG_Quality, &QSlider::valueChanged, this, [this] { TBarOGG_QualityChange(); });
    connect(TBarFlac_Level, &QSlider::valueChanged, this, [this] { TBarFlac_LevelChange(); });
    connect(CBoxWavChannel, &QComboBox::activated, this, [this] { CBoxWavChannelChange(); });
    connect(CBoxFlacChannel, &QComboBox::activated, this, [this] { CBoxFlacChannelChange(); });
    connect(CBoxWavBits, &QComboBox::activated, this, [this] { CBoxWavBitsChange(); });
    connect(CBoxSpsWav, &QComboBox::activated, this, [this] { CBoxSpsWavChange(); });
    connect(CBoxSpsFlac, &QComboBox::activated, this, [this] { CBoxSpsFlacChange(); });
    connect(CBoxWmaChannels, &QComboBox::activated, this, [this] { CBoxWmaChannelsChange(); });
    connect(PControlFormat, &QTabWidget::currentChanged, this, [this](int page) {
        // Choosing the page at creation is not showing it.
        if (isVisible()) PageShow(page);
    });

    // Initial selections; the run-time lists are filled on show.
    CBoxWavChannel->setCurrentIndex(0);
    CBoxWavBits->setCurrentIndex(0);
    CBoxMP3BitRate->setCurrentIndex(8);
    CBoxMP3Mode->setCurrentIndex(0);
    CBoxMP3MinBRate->setCurrentIndex(0);
    CBoxMP3MaxBRate->setCurrentIndex(13);
    CBoxWmaChannels->setCurrentIndex(0);
    SelectFormatPage();
    CreateTickMarks();

    if (!FormRecSettings) FormRecSettings = this;
}

TFormRecSettings::~TFormRecSettings() {
    if (FormRecSettings == this) FormRecSettings = nullptr;
}

void TFormRecSettings::SetTabImage(int page, int image) {
    tabImage_[static_cast<size_t>(page)] = image;
    PControlFormat->setTabIcon(page, ImageList1[static_cast<size_t>(image)]);
}

void TFormRecSettings::SelectFormatPage() {
    for (int page = 0; page < 5; ++page)
        SetTabImage(page, 0);
    const auto& s = core::Settings;
    const std::pair<bool, int> order[] = {
        {s.IsWav, kPageWAV}, {s.IsMP3, kPageMP3},   {s.IsWMA, kPageWMA},
        {s.IsOGG, kPageOGG}, {s.IsFLAC, kPageFLAC},
    };
    for (auto [set, page] : order) {
        if (!set) continue;
        SetTabImage(page, 1);
        PControlFormat->setCurrentIndex(page);
    }
}

void TFormRecSettings::CreateTickMarks() {
    // Group box sliders: their offsets inside the group serve as page offsets.
    struct Row {
        QWidget* page;
        QSlider* slider;
        int count, dx, dy;
        double step;
    };
    const Row rows[] = {
        {TSheetMP3, TBarMP3_VBR_Quality, 9, 15, 55, 19.2},
        {TSheetOGG, TBarOGG_Quality, 11, 21, 60, 17.8},
        {TSheetFLAC, TBarFlac_Level, 9, 11, -2, 22.2},
    };
    for (const Row& r : rows) {
        const QPoint at = r.slider->pos();
        for (int i = 0; i < r.count; ++i) {
            auto* tick = new QFrame(r.page);
            tick->setObjectName(QStringLiteral("Tick%1_%2").arg(r.slider->objectName()).arg(i));
            tick->setAutoFillBackground(true);
            QPalette p = tick->palette();
            for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
                p.setColor(group, QPalette::Window, kTickColor);
            tick->setPalette(p);
            tick->setGeometry(at.x() + r.dx + core::RoundEvenInt(i * r.step), at.y() + r.dy, 1, 7);
            tick->raise();
            TickMarks.push_back(tick);
        }
    }
}

void TFormRecSettings::BuildRateLists() {
    const auto& s = core::Settings;
    const bool mono = s.Channels == 1;
    const bool eight = s.BitPerSample == 8;
    const uint32_t bit48 =
        eight ? (mono ? kFormat48M08 : kFormat48S08) : (mono ? kFormat48M16 : kFormat48S16);
    const uint32_t bit96 =
        eight ? (mono ? kFormat96M08 : kFormat96S08) : (mono ? kFormat96M16 : kFormat96S16);
    const uint32_t formats = capture::Ring.DeviceFormats;
    for (QComboBox* c : {CBoxSpsWav, CBoxSpsFlac}) {
        c->clear();
        c->addItems({"11025", "22050", "44100"});
        if (formats & bit48) c->addItem(QStringLiteral("48000"));
        if (formats & bit96) c->addItem(QStringLiteral("96000"));
        c->setCurrentIndex(c->findText(QString::number(s.SamplePerSecond)));
    }
}

void TFormRecSettings::FillWmaRates() {
    auto& s = core::Settings;
    std::vector<uint32_t> rates = GetWmaRates(44100, static_cast<uint32_t>(s.Channels), 0);
    if (NoRates(rates)) {
        ReportUnavailable();
        if (s.Channels != 1) return;
        s.Channels = 2;
        // The list must say what is now chosen, or closing on it would
        // bring back the refused mono.
        CBoxWmaChannels->setCurrentIndex(0);
        rates = GetWmaRates(44100, 2, 0);
        if (NoRates(rates)) {
            ReportUnavailable();
            return;
        }
    }
    CBoxWmaRate->clear();
    CBoxWmaRate->addItems(WmaRateItems(rates));
    CBoxWmaRate->setCurrentIndex(0);
    const int i = CBoxWmaRate->findText(QString::number(s.WMARate));
    if (i >= 0) CBoxWmaRate->setCurrentIndex(i);
}

void TFormRecSettings::UpdateVbrControls() {
    const bool vbr = core::Settings.IsVBR;
    CBoxMP3BitRate->setEnabled(!vbr);
    CBoxMP3MinBRate->setEnabled(vbr);
    CBoxMP3MaxBRate->setEnabled(vbr);
    TBarMP3_VBR_Quality->setEnabled(vbr);
}

void TFormRecSettings::UpdateOggQualityControls() {
    const bool q = core::Settings.IsOggQuality;
    CBoxOggRate->setEnabled(!q);
    TBarOGG_Quality->setEnabled(q);
    LabOggQuality->setEnabled(q);
    LabOggLow->setEnabled(q);
    LabOggHigh->setEnabled(q);
}

void TFormRecSettings::FormShow() {
    auto& s = core::Settings;
    BuildRateLists();
    {
        // Showing reflects the settings; only the user's moves change them.
        const QSignalBlocker block(TBarFlac_Level);
        TBarFlac_Level->setValue(s.FlacCompression);
    }
    LabFlacLevel->setText(QStringLiteral("Compression Level - ") +
                          QString::number(s.FlacCompression));
    SelectText(CBoxMP3BitRate, QString::number(s.MP3BitRate), 0);
    if (s.MP3Mode >= 0 && s.MP3Mode <= 3) CBoxMP3Mode->setCurrentIndex(s.MP3Mode);
    SelectText(CBoxMP3MinBRate, QString::number(s.MinBitRate), 0);
    SelectText(CBoxMP3MaxBRate, QString::number(s.MaxBitRate), 13);
    TBarMP3_VBR_Quality->setValue(s.MP3Quality);
    ChBoxMP3VBR->setChecked(s.IsVBR);
    UpdateVbrControls();
    CBoxWmaChannels->setCurrentIndex(s.Channels == 1 ? 1 : 0);
    FillWmaRates();
    // A rate the list does not hold (an edited store) shows the default 128.
    SelectText(CBoxOggRate, QString::number(s.OggRate), kOggRates.indexOf("128"));
    CBoxOggChannels->setCurrentIndex(s.Channels == 1 ? 1 : 0);
    ChBoxOggQuality->setChecked(s.IsOggQuality);
    {
        const QSignalBlocker block(TBarOGG_Quality);
        TBarOGG_Quality->setValue(core::RoundEvenInt(s.OggQuality));
    }
    LabOggQuality->setText(OggQualityText(s.OggQuality));
    UpdateOggQualityControls();
}

void TFormRecSettings::PageShow(int page) {
    static const char* const kCaptions[] = {"Format Settings : MP3", "Format Settings : OGG",
                                            "Format Settings : WMA", "Format Settings : WAV",
                                            "Format Settings : FLAC"};
    if (page < 0 || page > 4) return;
    setWindowTitle(QString::fromLatin1(kCaptions[page]));
    for (int i = 0; i < 5; ++i)
        SetTabImage(i, i == page ? 1 : 0);
    auto& s = core::Settings;
    s.IsMP3 = page == kPageMP3;
    s.IsOGG = page == kPageOGG;
    s.IsWMA = page == kPageWMA;
    s.IsWav = page == kPageWAV;
    s.IsFLAC = page == kPageFLAC;
    if (page == kPageWAV) {
        CBoxWavChannel->setCurrentIndex(s.Channels == 1 ? 1 : 0);
        CBoxWavBits->setCurrentIndex(s.BitPerSample == 8 ? 1 : 0);
        BuildRateLists();
    } else if (page == kPageFLAC) {
        CBoxFlacChannel->setCurrentIndex(s.Channels == 1 ? 1 : 0);
        s.BitPerSample = 16;
        BuildRateLists();
    }
}

void TFormRecSettings::FormClose() {
    auto& s = core::Settings;
    platform::CaptureCaps caps;
    // A device that is gone supports no format, so capture stays closed.
    capture::Ring.DeviceFormats = platform::Capture().GetCaps(0, caps) ? caps.formats : 0;
    s.Channels = 2;
    if (s.IsWav) {
        s.Channels = ChannelsOf(CBoxWavChannel);
        s.BitPerSample = CBoxWavBits->currentIndex() == 1 ? 8 : 16;
        ReadNumber(CBoxSpsWav, s.SamplePerSecond);
    }
    if (s.IsFLAC) {
        s.Channels = ChannelsOf(CBoxFlacChannel);
        ReadNumber(CBoxSpsFlac, s.SamplePerSecond);
    }
    if (s.IsMP3) {
        ReadNumber(CBoxMP3BitRate, s.MP3BitRate);
        const int mode = kMp3Modes.indexOf(CBoxMP3Mode->currentText());
        if (mode >= 0) s.MP3Mode = mode;
        s.IsVBR = ChBoxMP3VBR->isChecked();
        ReadNumber(CBoxMP3MinBRate, s.MinBitRate);
        ReadNumber(CBoxMP3MaxBRate, s.MaxBitRate);
        s.MP3Quality = TBarMP3_VBR_Quality->value();
        s.Channels = s.MP3Mode == 3 ? 1 : 2;
    }
    if (s.IsWMA) {
        ReadNumber(CBoxWmaRate, s.WMARate);
        s.Channels = CBoxWmaChannels->currentText() == "mono" ? 1 : 2;
    }
    if (s.IsOGG) {
        ReadNumber(CBoxOggRate, s.OggRate);
        s.Channels = CBoxOggChannels->currentText() == "mono" ? 1 : 2;
        s.IsOggQuality = ChBoxOggQuality->isChecked();
        s.OggQuality = static_cast<float>(TBarOGG_Quality->value());
    }
}

void TFormRecSettings::ChBoxMP3VBRClick() {
    core::Settings.IsVBR = ChBoxMP3VBR->isChecked();
    UpdateVbrControls();
}

void TFormRecSettings::ChBoxOggQualityClick() {
    core::Settings.IsOggQuality = ChBoxOggQuality->isChecked();
    UpdateOggQualityControls();
}

void TFormRecSettings::TBarOGG_QualityChange() {
    const int v = TBarOGG_Quality->value();
    core::Settings.OggQuality = static_cast<float>(v);
    LabOggQuality->setText(QStringLiteral("Quality - ") + QString::number(v));
}

void TFormRecSettings::TBarFlac_LevelChange() {
    const int v = TBarFlac_Level->value();
    core::Settings.FlacCompression = v;
    LabFlacLevel->setText(QStringLiteral("Compression Level - ") + QString::number(v));
}

void TFormRecSettings::CBoxWavChannelChange() {
    core::Settings.Channels = ChannelsOf(CBoxWavChannel);
}

void TFormRecSettings::CBoxFlacChannelChange() {
    core::Settings.Channels = ChannelsOf(CBoxFlacChannel);
}

void TFormRecSettings::CBoxWavBitsChange() {
    core::Settings.BitPerSample = CBoxWavBits->currentIndex() == 1 ? 8 : 16;
}

void TFormRecSettings::CBoxSpsWavChange() {
    ReadNumber(CBoxSpsWav, core::Settings.SamplePerSecond);
}

void TFormRecSettings::CBoxSpsFlacChange() {
    ReadNumber(CBoxSpsFlac, core::Settings.SamplePerSecond);
}

void TFormRecSettings::CBoxWmaChannelsChange() {
    auto& s = core::Settings;
    s.Channels = ChannelsOf(CBoxWmaChannels);
    FillWmaRates();
    if (s.Channels == 2) CBoxWmaChannels->setCurrentIndex(0);
}

void TFormRecSettings::showEvent(QShowEvent* event) {
    // A window manager's restore is not a new showing.
    if (!event->spontaneous()) {
        FormShow();
        PageShow(PControlFormat->currentIndex());
    }
    QDialog::showEvent(event);
}

void TFormRecSettings::done(int r) {
    FormClose();
    QDialog::done(r);
}

bool OpenFormatSettings(QWidget* mainWindow, const std::function<void()>& refreshFormatLabel) {
    if (core::Session.IsRecording || core::Session.IsPlayerShown) return false;
    if (!FormRecSettings) new TFormRecSettings(mainWindow);
    TFormRecSettings* dlg = FormRecSettings;
    if (mainWindow) {
        const QRect main = mainWindow->frameGeometry();
        const QSize own = dlg->frameGeometry().size();
        dlg->move(main.left() + (main.width() - own.width()) / 2,
                  main.top() + (main.height() - own.height()) / 2);
    }
    dlg->exec();
    refreshFormatLabel();
    capture::CloseCapture();
    QCoreApplication::processEvents();
    capture::OpenCapture();
    return true;
}

} // namespace dialogs
