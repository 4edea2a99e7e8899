#include "mainwindow/form1.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QCursor>
#include <QFileInfo>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QToolTip>
#include <QWindow>

#include "audiolib/record.h"
#include "capture/capture.h"
#include "core/rounding.h"
#include "core/session.h"
#include "core/settings.h"
#include "core/startup.h"
#include "core/state.h"
#include "mainwindow/hint.h"
#include "mainwindow/images.h"
#include "mainwindow/meters.h"
#include "mainwindow/status.h"
#include "mainwindow/system.h"
#include "platform/hotkeys.h"
#include "platform/prompt.h"
#include "platform/pulse.h"
#include "platform/shell.h"
#include "platform/sources.h"

namespace mainwindow {

TForm1* Form1 = nullptr;

namespace {
constexpr int kWidth = 400;
constexpr int kHeight = 300;
constexpr int kVolLineLeft = 29;

QFont ArialPx(int px, bool bold = false) {
    QFont f("Liberation Sans");
    f.setStyleHint(QFont::SansSerif);
    f.setPixelSize(px);
    f.setBold(bold);
    return f;
}

void SetTextColor(QLabel* l, const QColor& c) {
    QPalette p = l->palette();
    p.setColor(QPalette::WindowText, c);
    l->setPalette(p);
}

} // namespace

void MouseLabel::mousePressEvent(QMouseEvent* e) {
    if (e->button() == Qt::RightButton && popup && !onPress) {
        popup(e->globalPosition().toPoint());
        e->accept();
        return;
    }
    if (onPress) onPress(e);
    e->accept();
}

void MouseLabel::paintEvent(QPaintEvent* e) {
    QLabel::paintEvent(e);
    if (paintOver) {
        QPainter p(this);
        paintOver(p);
    }
}

void MouseLabel::mouseMoveEvent(QMouseEvent* e) {
    if (onMove) onMove(e);
    e->accept();
}

void MouseLabel::mouseReleaseEvent(QMouseEvent* e) {
    if (onRelease) onRelease(e);
    if (e->button() == Qt::LeftButton && onClick && rect().contains(e->position().toPoint()))
        onClick();
    e->accept();
}

TForm1::TForm1(Form1Peers& peers, QWidget* parent) : QWidget(parent), peers_(peers) {
    Form1 = this;
    setWindowTitle("Kestrune");
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
    setFixedSize(kWidth, kHeight);
    // The window font every width is measured in: the small sans of the skin.
    setFont(ArialPx(11));
    TimerRec.setInterval(100);
    TimerStatus.setInterval(500);
    TimerForms.setInterval(30);
    connect(&TimerRec, &QTimer::timeout, this, [] { core::TimerRecTimer(); });
    connect(&TimerStatus, &QTimer::timeout, this, [this] { TimerStatusTimer(); });
    connect(&TimerForms, &QTimer::timeout, this, [this] { TimerFormsTimer(); });
    CreateControls();
    CreateMenu();
    core::ConnectView(this);
    FormCreate();
}

TForm1::~TForm1() {
    // Hot keys released, then the audio library.
    if (hotKeys_) hotKeys_->UnregisterAll();
    hotKeys_.reset();
    core::ReleaseAudioLibrary();
    core::ConnectView(nullptr);
    Meters.target = nullptr;
    if (Form1 == this) Form1 = nullptr;
}

SkinButton* TForm1::Button(const QString& normal, const QString& hover, QPoint at,
                           const QString& hint) {
    auto* b = new SkinButton(this, normal, hover, at);
    b->setToolTip(hint);
    b->onHover = [] { core::Session.HoverPending = true; };
    return b;
}

void TForm1::CreateControls() {
    auto& store = Form4();
    const auto notRecording = [] { return !core::Session.IsRecording; };
    const auto popup = [this](QPoint g) { OpenPopup(g); };

    ImageForm1 = new MouseLabel(this);
    ImageForm1->setPixmap(store.Picture("ImageForm1"));
    ImageForm1->setGeometry(0, 0, kWidth, kHeight);
    ImageForm1->setAccessibleName("Kestrune");
    ImageForm1->onPress = [this](QMouseEvent* e) { ImageForm1MouseDown(e); };
    ImageForm1->onMove = [this](QMouseEvent* e) { ImageForm1MouseMove(e); };
    ImageForm1->onRelease = [this](QMouseEvent* e) { ImageForm1MouseUp(e); };
    // The meter panels lie on the skin picture.
    ImageForm1->paintOver = [](QPainter& p) { PaintMeters(p); };

    // Buttons whose action waits for pending messages get their normal
    // picture back at once; the others keep the hover until the mouse leaves.
    const auto settle = [](SkinButton* b, std::function<void()> action) {
        b->restoreAtRelease = true;
        b->onClick = [action] {
            QCoreApplication::processEvents();
            action();
        };
    };
    ImageFolder = Button("ImageFolder1", "ImageFolder2", {5, 5}, "Output Folder");
    ImageFolder->enabled = notRecording;
    settle(ImageFolder, [this] { BrowseOutputFolder(peers_); });
    ImageSetting = Button("ImageSetting1", "ImageSetting2", {32, 5}, "Format Settings");
    ImageSetting->enabled = notRecording;
    settle(ImageSetting, [] { OpenFormatSettings(); });
    ImageHelp = Button("ImageHelp1", "ImageHelp2", {291, 5}, "Help");
    settle(ImageHelp, [] { ShowHelp(); });
    ImageInfo = Button("ImageInfo1", "ImageInfo2", {318, 5}, "About ");
    settle(ImageInfo, [] { ShowAbout(); });
    ImageMin = Button("ImageMin1", "ImageMin2", {345, 5}, "Minimize");
    ImageMin->onClick = [this] { showMinimized(); };
    ImageClose = Button("ImageClose1", "ImageClose2", {372, 5}, "Close");
    ImageClose->onClick = [this] { close(); };

    ImageControl = Button("ImageControl1", "ImageControl2", {184, 266}, "Recording Control");
    ImageControl->enabled = notRecording;
    ImageControl->onClick = [] {
        QCoreApplication::processEvents();
        ShowRecordingControl();
    };
    ImageRecord = Button("ImageRecord1", "ImageRecord2", {220, 266}, "Record F5");
    ImageRecord->enabled = notRecording;
    ImageRecord->onHover = [this] {
        core::Session.HoverPending = true;
        ImageRecordMouseMove();
    };
    ImageRecord->onClick = [] { core::StartRecording(); };
    ImagePause = Button("ImagePause1", "ImagePause2", {256, 266}, "Pause/Resume F7");
    ImagePause->onClick = [] { core::PauseCommand(); };
    ImageStop = Button("ImageStop1", "ImageStop2", {292, 266}, "Stop F9");
    ImageStop->onClick = [] { core::Stop(); };
    ImagePlay = Button("ImagePlay1", "ImagePlay2", {328, 266}, "Play");
    ImagePlay->enabled = notRecording;
    ImagePlay->onClick = [this] {
        const auto& s = core::Session;
        if (s.IsRecording || s.IsPaused || s.SelectedFile.empty()) return;
        peers_.PlaySelected();
    };
    ImageShowHide = Button("ImageShow1", "ImageShow2", {364, 266}, "Show/Hide File List");
    ImageShowHide->onClick = [this] { ShowHideFileList(); };

    ImageVolLine = new QLabel(this);
    ImageVolLine->setAccessibleName("Recording Volume");
    ImageVolLine->setPixmap(store.Picture("ImageVolLine"));
    ImageVolLine->setScaledContents(false);
    ImageVolLine->setGeometry(kVolLineLeft, 277, 0, 5);
    ImageVolLine->setToolTip("Recording Volume");
    ImageVol = new MouseLabel(this);
    ImageVol->setPixmap(store.Picture("ImageHandle1"));
    ImageVol->setGeometry(152, 268, 11, 21);
    ImageVol->setToolTip("Recording Volume");
    ImageVol->onPress = [this](QMouseEvent* e) { ImageVolMouseDown(e); };
    ImageVol->onMove = [this](QMouseEvent* e) { ImageVolMouseMove(e); };
    ImageVol->onRelease = [this](QMouseEvent* e) { ImageVolMouseUp(e); };
    MakeAccessibleSlider(
        ImageVol, {"Recording Volume", 0, 100, [] { return core::Startup.InputVolume * 100.0; },
                   [this](double percent) {
                       const int left = KnobForVolume(static_cast<float>(percent / 100));
                       PlaceKnob(left);
                       SetInputVolume(VolumeForKnob(left));
                   }});
    // The threshold marker is drawn, not a control: an empty widget over the
    // level panel, which the mouse passes through, stands for it.
    auto* threshold = new QWidget(this);
    threshold->setObjectName("ThresholdSlider");
    threshold->setGeometry(14, 230, 370, 30);
    threshold->setAttribute(Qt::WA_TransparentForMouseEvents);
    MakeAccessibleSlider(
        threshold,
        {"Threshold Level", 0, 100,
         [] { return static_cast<double>(core::Settings.ThresholdLevel); },
         [](double percent) { SetThresholdMarker(14 + core::RoundEvenInt(percent * 346 / 100)); }});

    // The threshold marker picture, kept outside the visible area for the meters.
    ImageThresh = new QLabel(this);
    ImageThresh->setAccessibleName("Threshold marker");
    ImageThresh->setPixmap(store.Picture("ImageThresh"));
    ImageThresh->setGeometry(kWidth + 10, 0, 7, 32);

    const QColor light(221, 221, 221);
    auto label = [&](QPoint at, const QFont& font, const QColor& color, const QString& text) {
        auto* l = new MouseLabel(this);
        l->setFont(font);
        SetTextColor(l, color);
        l->setText(text);
        l->move(at);
        l->adjustSize();
        l->popup = popup;
        return l;
    };
    LabStatus0 = label({23, 57}, ArialPx(15, true), Qt::black, "Monitoring");
    LabStatus = label({22, 56}, ArialPx(15, true), light, "Monitoring");
    LabStatus->setToolTip("Program Status");
    LabStatus0->resize(200, 20);
    LabStatus->resize(200, 20);
    LabSAR = new QLabel("Sound Activated", this);
    LabSAR->setFont(font());
    SetTextColor(LabSAR, Qt::red);
    LabSAR->move(20, 48);
    LabSAR->adjustSize();
    LabSAR->hide();
    LabWarn = new QLabel(this);
    LabWarn->setFont(font());
    LabWarn->setGeometry(22, 77, 98, 13);
    LabWarn->hide();
    LabTime0 = label({294, 53}, ArialPx(21), QColor(128, 128, 128), "00:00:00");
    LabTime = label({293, 52}, ArialPx(21), light, "00:00:00");
    LabTime->setToolTip("Recording Time");
    LabTime0->resize(100, 26);
    LabTime->resize(100, 26);

    ImageFormat = new MouseLabel(this);
    ImageFormat->setGeometry(120, 50, 16, 16);
    ImageFormat->setCursor(Qt::PointingHandCursor);
    ImageFormat->setToolTip("Format Settings");
    ImageFormat->setAccessibleName("Format Settings");
    ImageFormat->popup = popup;
    ImageFormat->onClick = [] { OpenFormatSettings(); };
    LabFormat = label({137, 51}, font(), light, "");
    LabFormat->setCursor(Qt::PointingHandCursor);
    LabFormat->setToolTip("Format Settings");
    LabFormat->onClick = [] { OpenFormatSettings(); };

    ImagePath = new MouseLabel(this);
    ImagePath->setPixmap(store.Picture("ImagePath"));
    ImagePath->setAccessibleName("Output Folder");
    ImagePath->move(18, 27);
    ImagePath->resize(ImagePath->pixmap().size());
    ImagePath->setCursor(Qt::PointingHandCursor);
    ImagePath->popup = popup;
    ImagePath->onClick = [this] { BrowseOutputFolder(peers_); };
    LabFolder = label({36, 29}, font(), PlateTextColor, "");
    LabFolder->setCursor(Qt::PointingHandCursor);
    LabFolder->onClick = [this] { BrowseOutputFolder(peers_); };
    LabFile = new QLabel(this);
    LabFile->setFont(font());
    SetTextColor(LabFile, Qt::red);
    LabFile->move(78, 29);

    LabSource_ = label({122, 72}, font(), Qt::black, "Info");
    LabSource_->setCursor(Qt::PointingHandCursor);
    LabSource_->onClick = [] {
        if (!core::Session.IsRecording) ShowRecordingControl();
    };
}

void TForm1::CreateMenu() {
    PMenu = new QMenu(this);
    PmenuFolder = PMenu->addAction("Output Folder...", [this] { BrowseOutputFolder(peers_); });
    pmenuRecordSettings = PMenu->addAction("Format Settings...", [] { OpenFormatSettings(); });
    PMenu->addSeparator();
    pmenuDevice = PMenu->addAction("Recording Device...", [] { ShowRecordingDevice(); });
    pmenuRecControl = PMenu->addAction("Recording Control...", [] {
        if (!core::Session.IsRecording) ShowRecordingControl();
    });
    PmenuSource = PMenu->addMenu("Recording Source");
    connect(PmenuSource, &QMenu::aboutToShow, this, [this] { UpdateSourceMenu(); });
    PmenuRecMode = PMenu->addAction("Recording Mode...",
                                    [this] { peers_.ShowModeWindow(pos() + QPoint(0, 300)); });
    PMenu->addSeparator();
    PmenuEffects = PMenu->addAction("Effects...", [this] { peers_.ShowEffects(); });
    PMenu->addSeparator();
    PmenuHelp = PMenu->addAction("Program Help", [] { ShowHelp(); });
    PmenuAbout = PMenu->addAction("About...", [] { ShowAbout(); });
    PMenu->addSeparator();
    PmenuExit = PMenu->addAction("Exit", [this] { close(); });
    connect(PMenu, &QMenu::aboutToShow, this, [this] { PMenuPopup(); });
}

void TForm1::ShowTime(const std::string& text) {
    const QString t = QString::fromStdString(text);
    LabTime->setText(t);
    LabTime0->setText(t);
}

void TForm1::ShowLabSAR(bool visible) {
    LabSAR->setVisible(visible);
}

void TForm1::ShowLabFile(const std::string& path) {
    LabFile->setText(QFileInfo(QString::fromStdString(path)).fileName());
    LabFile->adjustSize();
}

void TForm1::ClearStatus() {
    LabStatus->clear();
    LabStatus0->clear();
}

void TForm1::FindFiles() {
    peers_.FindFiles();
}

void TForm1::ShowFiles() {
    peers_.ShowFiles();
}

void TForm1::SelectFile() {
    peers_.SelectFile();
}

void TForm1::SetBusyCursor(bool busy) {
    if (busy)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    else
        QApplication::restoreOverrideCursor();
}

std::string TForm1::SourceText() {
    return Status.SourceText;
}

void TForm1::CloseSoundWindow() {
    platform::CloseSoundControlPanel();
}

void TForm1::UpdateMeters() {
    mainwindow::UpdateMeters();
}

void TForm1::CaptureOpened() {
    ComputeMeterScales();
}

void TForm1::FormCreate() {
    QPalette tip = QToolTip::palette();
    tip.setColor(QPalette::ToolTipBase, QColor(240, 240, 230));
    QToolTip::setPalette(tip);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, SkinColor);
    setPalette(pal);
    setAutoFillBackground(true);
    core::ResetRunValues();
    core::LoadSettingsAndBoost();
    InitMeterGeometry();
    Meters.target = ImageForm1;
    Status = StatusState{};
    if (core::SettleOutputFolder()) {
        core::RememberFolderAndEnter();
        hotKeys_ = std::make_unique<platform::HotKeys>([this](int id) { WMHotKey(id); });
        hotKeys_->Register(101, 5, "Record");
        hotKeys_->Register(102, 7, "Pause/Resume");
        hotKeys_->Register(103, 9, "Stop");
        core::InitAudioLibrary();
        core::InitCaptureIfPresent();
    }
    if (QScreen* s = QGuiApplication::primaryScreen()) {
        auto p =
            core::PlaceMainWindow(s->geometry().width(), s->geometry().height(), kWidth, kHeight);
        move(p.left, p.top);
    }
    PlaceKnob(KnobForVolume(core::Startup.InputVolume));
    UpdateFormatLabel();
    // Draining starts from the first event-loop cycle.
    TimerRec.start();
    TimerStatus.start();
    TimerForms.start();
}

bool TForm1::HotKeysGlobal() const {
    return hotKeys_ && hotKeys_->IsGlobal();
}

QString TForm1::HotKeysText() const {
    if (!hotKeys_) return {};
    switch (hotKeys_->CurrentMode()) {
    case platform::HotKeys::Mode::Portal:
        return "Hot keys F5, F7, F9 work in every program (desktop shortcuts)";
    case platform::HotKeys::Mode::X11:
        return "Hot keys F5, F7, F9 work in every program";
    case platform::HotKeys::Mode::FocusOnly:
        break;
    }
    return "Hot keys F5, F7, F9 work only while a Kestrune window is active";
}

void TForm1::WMHotKey(int id) {
    core::HotKey(id);
}

void TForm1::closeEvent(QCloseEvent* e) {
    if (!core::FormCloseQuery()) {
        e->ignore();
        return;
    }
    FormClose();
    e->accept();
}

void TForm1::FormClose() {
    TimerRec.stop();
    TimerStatus.stop();
    TimerForms.stop();
    HideThresholdHint();
    peers_.CloseFileList();
}

void TForm1::changeEvent(QEvent* e) {
    if (e->type() == QEvent::WindowStateChange) {
        if (windowState() & Qt::WindowMinimized)
            SetMinimize();
        else
            SetRestore();
    }
    QWidget::changeEvent(e);
}

void TForm1::SetMinimize() {
    core::Startup.IsMinimized = true;
    peers_.ApplicationMinimized(true);
}

void TForm1::SetRestore() {
    setWindowTitle("Kestrune");
    const bool was = core::Startup.IsMinimized;
    core::Startup.IsMinimized = false;
    if (was) peers_.ApplicationMinimized(false);
}

void TForm1::paintEvent(QPaintEvent* e) {
    QWidget::paintEvent(e);
    // Only a paint of the whole window is the window's own repaint; the
    // labels repaint parts of it whenever their text or picture changes,
    // and those must not take the hover pictures away.
    if (e->rect() != rect() && WindowPainted) return;
    pmenuDevice->setVisible(!core::Startup.IsVistaOrLater);
    ClearPanels();
    mainwindow::DrawMeters();
    UpdateFormatLabel();
    RestoreButtonPictures();
    WindowPainted = true;
}

void TForm1::ClearMeters() {
    ClearPanels();
    ResetMeters();
}

void TForm1::RestoreButtonPictures() {
    if (!core::Session.HoverPending) return;
    for (SkinButton* b : {ImageFolder, ImageSetting, ImageHelp, ImageInfo, ImageMin, ImageClose,
                          ImageControl, ImageRecord, ImagePause, ImageStop, ImagePlay})
        b->RestoreNormal();
    ImageVol->setPixmap(Form4().Picture("ImageHandle1"));
    if (core::Settings.IsFileList)
        ImageShowHide->SetPictures("ImageHide1", "ImageHide2");
    else
        ImageShowHide->SetPictures("ImageShow1", "ImageShow2");
    ImageShowHide->RestoreNormal();
    core::Session.HoverPending = false;
}

void TForm1::UpdateFormatLabel() {
    const auto& s = core::Settings;
    FormatLabel f = FormatLabelFor(s);
    ImageFormat->setPixmap(Form4().Picture(f.picture));
    LabFormat->setText(f.text);
    LabFormat->adjustSize();
    LabFormat->setToolTip("Format Settings:\n" + f.text);
}

void TForm1::TimerStatusTimer() {
    UpdateStatus();
    // A source that comes or goes while the menu is open shows up at once.
    if (PMenu->isVisible() && platform::pulse::SourceEventCount() != sourceEvents_)
        UpdateSourceMenu();
    if (WindowPainted && !frameGeometry().contains(QCursor::pos())) RestoreButtonPictures();
}

void TForm1::TimerFormsTimer() {
    if (QWidget* list = peers_.FileListWindow()) {
        const QRect me = frameGeometry();
        QPoint at = list->pos();
        if (at.x() != me.left()) at.setX(me.left());
        if (me.top() + me.height() != at.y()) at.setY(me.top() + me.height());
        if (at != list->pos()) list->move(at);
        if (QWidget* tag = peers_.TagEditorWindow()) {
            QPoint t(list->pos().x() + list->frameGeometry().width(), list->pos().y());
            if (tag->pos() != t) tag->move(t);
        }
    }
}

void TForm1::ShowHideFileList() {
    auto& s = core::Settings;
    if (!s.IsFileList) {
        s.IsFileList = true;
        ImageShowHide->SetPictures("ImageHide1", "ImageHide2");
        ImageShowHide->ShowHover();
        peers_.ShowFileList(QPoint(frameGeometry().left(), frameGeometry().bottom() + 1));
    } else {
        s.IsFileList = false;
        ImageShowHide->SetPictures("ImageShow1", "ImageShow2");
        ImageShowHide->ShowHover();
        peers_.CloseFileList();
        peers_.HideTagEditor();
    }
    core::Session.HoverPending = true;
}

void TForm1::PMenuPopup() {
    const bool idle = !core::Session.IsRecording;
    for (QAction* a : {PmenuFolder, pmenuRecordSettings, pmenuDevice, pmenuRecControl,
                       PmenuSource->menuAction(), PmenuRecMode})
        a->setEnabled(idle);
    UpdateSourceMenu();
}

void TForm1::UpdateSourceMenu() {
    sourceEvents_ = platform::pulse::SourceEventCount();
    PmenuSource->clear();
    const auto sources = platform::RecordingSources();
    if (sources.empty()) {
        PmenuSource->addAction("no recording device is enabled")->setEnabled(false);
        return;
    }
    bool monitors = false;
    for (const auto& s : sources) {
        if (s.monitor && !monitors) {
            monitors = true;
            if (!PmenuSource->isEmpty()) PmenuSource->addSeparator();
        }
        // Descriptions may hold "&", which a menu would take for a shortcut.
        QString caption = QString::fromStdString(s.description);
        caption.replace('&', "&&");
        QAction* a = PmenuSource->addAction(caption, [this, name = s.name] { ChooseSource(name); });
        a->setCheckable(true);
        a->setChecked(s.isDefault);
        a->setData(QString::fromStdString(s.name));
    }
}

void TForm1::ChooseSource(const std::string& name) {
    if (core::Session.IsRecording) return;
    // The device watch notices the new default on its next tick and moves
    // capture there.
    if (!platform::SetDefaultSource(name))
        platform::CurrentPrompt().Show(platform::MsgKind::Warning,
                                       "The recording source could not be chosen: " + name +
                                           " is no longer there.");
}

void TForm1::OpenPopup(QPoint global) {
    PMenu->popup(global);
}

void TForm1::ImageRecordMouseMove() {
    if (core::Session.IsRecording) return;
    ImageRecord->setToolTip(RecordHint(core::Settings));
}

// --- Background: window dragging and the threshold slider -----------------

namespace {
constexpr int kPanelLeft = 14;
bool InLevelPanel(QPoint p) {
    return p.x() > 14 && p.x() < 384 && p.y() > 230 && p.y() < 260;
}
} // namespace

bool TForm1::InThresholdHitArea(QPoint p) const {
    const int m = kPanelLeft + ThresholdMarkerX();
    return p.x() > m - 4 && p.x() <= m + 3 && p.y() > 230 && p.y() < 260;
}

QString TForm1::ThresholdHintText(float level) {
    return "Threshold Level -  " + QString::number(static_cast<double>(level), 'f', 1) + "%";
}

void TForm1::ShowThresholdHint(QPoint p) {
    FormHint().ShowAt(pos() + p + QPoint(0, 16), ThresholdHintText(core::Settings.ThresholdLevel));
}

void TForm1::HideThresholdHint() {
    FormHint().hide();
}

void TForm1::ImageForm1MouseDown(QMouseEvent* e) {
    const QPoint p = e->position().toPoint();
    if (InThresholdHitArea(p)) {
        if (e->button() == Qt::LeftButton) {
            core::Session.IsDragging = true;
            thresholdDrag_ = true;
            dragStartX_ = p.x();
            dragStartMarker_ = ThresholdMarkerX();
            ShowThresholdHint(p);
        } else {
            core::Session.IsDragging = false;
            thresholdDrag_ = false;
        }
    }
    if (e->button() == Qt::RightButton) {
        OpenPopup(e->globalPosition().toPoint());
        return;
    }
    if (InLevelPanel(p)) return;
    ImageForm1->releaseMouse();
    // The window manager moves the window when it can; otherwise we follow
    // the mouse ourselves.
    QWindow* w = windowHandle();
    if (w && w->startSystemMove()) return;
    manualMove_ = true;
    moveOffset_ = e->globalPosition().toPoint() - pos();
}

void TForm1::ImageForm1MouseMove(QMouseEvent* e) {
    const QPoint p = e->position().toPoint();
    if (manualMove_ && (e->buttons() & Qt::LeftButton)) {
        move(e->globalPosition().toPoint() - moveOffset_);
        return;
    }
    RestoreButtonPictures();
    const bool overVolume = p.y() > 276 && p.y() < 287 && p.x() > 26 && p.x() < 163;
    ImageForm1->setToolTip(overVolume ? "Recording Volume" : QString());
    if (core::Session.IsDragging && thresholdDrag_) {
        int marker = dragStartMarker_ + (p.x() - dragStartX_);
        if (marker < 14) marker = 14;
        if (marker >= 360) marker = 360;
        SetThresholdMarker(marker);
    }
    if (InThresholdHitArea(p) || (core::Session.IsDragging && thresholdDrag_))
        ShowThresholdHint(p);
    else
        HideThresholdHint();
}

void TForm1::ImageForm1MouseUp(QMouseEvent*) {
    manualMove_ = false;
    core::Session.IsDragging = false;
    thresholdDrag_ = false;
    HideThresholdHint();
}

// --- Recording volume ------------------------------------------------------

int TForm1::KnobLeft() const {
    return ImageVol->x();
}

void TForm1::SetInputVolume(float volume) {
    auto& st = core::Startup;
    st.InputVolume = volume;
    QCoreApplication::processEvents();
    if (st.InputVolume >= 0 && st.InputVolume <= 1 && !st.DeviceName.empty())
        audiolib::RecordSetInput(st.InputIndex, audiolib::INPUT_ON, st.InputVolume);
}

void TForm1::PlaceKnob(int left) {
    ImageVol->move(left, ImageVol->y());
    ImageVolLine->resize(std::max(0, left - kVolLineLeft), ImageVolLine->height());
}

void TForm1::ImageVolMouseDown(QMouseEvent* e) {
    if (e->button() == Qt::LeftButton) {
        core::Session.IsDragging = true;
        knobGrabX_ = static_cast<int>(e->position().x());
    } else {
        core::Session.IsDragging = false;
        if (e->button() == Qt::RightButton) OpenPopup(e->globalPosition().toPoint());
    }
}

void TForm1::ImageVolMouseMove(QMouseEvent* e) {
    ImageVol->setPixmap(Form4().Picture("ImageHandle2"));
    core::Session.HoverPending = true;
    if (!core::Session.IsDragging) return;
    int left = static_cast<int>(e->position().x()) + KnobLeft() - knobGrabX_;
    left = std::clamp(left, kKnobMin, kKnobMax);
    PlaceKnob(left);
    SetInputVolume(VolumeForKnob(left));
}

void TForm1::ImageVolMouseUp(QMouseEvent*) {
    core::Session.IsDragging = false;
}

} // namespace mainwindow
