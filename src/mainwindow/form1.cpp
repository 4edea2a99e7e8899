#include "mainwindow/form1.h"

#include <QApplication>
#include <QCloseEvent>
#include <QScreen>
#include <QToolTip>

#include "core/session.h"
#include "core/startup.h"
#include "core/state.h"
#include "platform/hotkeys.h"

namespace mainwindow {

TForm1* Form1 = nullptr;

namespace {
const QColor kSkinColor(53, 67, 72);
constexpr int kWidth = 400;
constexpr int kHeight = 300;
} // namespace

TForm1::TForm1(QWidget* parent) : QWidget(parent) {
    Form1 = this;
    setWindowTitle("Kestrune");
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
    setFixedSize(kWidth, kHeight);
    TimerRec.setInterval(100);
    TimerStatus.setInterval(500);
    connect(&TimerRec, &QTimer::timeout, this, [] { core::TimerRecTick(); });
    FormCreate();
}

TForm1::~TForm1() {
    // Hot keys released, then the audio library.
    if (hotKeys_) hotKeys_->UnregisterAll();
    hotKeys_.reset();
    core::ReleaseAudioLibrary();
    if (Form1 == this) Form1 = nullptr;
}

void TForm1::FormCreate() {
    QPalette tip = QToolTip::palette();
    tip.setColor(QPalette::ToolTipBase, QColor(240, 240, 230));
    QToolTip::setPalette(tip);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, kSkinColor);
    setPalette(pal);
    setAutoFillBackground(true);
    core::ResetRunValues();
    core::LoadSettingsAndBoost();
    if (core::SettleOutputFolder()) {
        core::RememberFolderAndEnter();
        hotKeys_ = std::make_unique<platform::HotKeys>([this](int id) { WMHotKey(id); });
        hotKeys_->Register(101, 5);
        hotKeys_->Register(102, 7);
        hotKeys_->Register(103, 9);
        core::InitAudioLibrary();
        core::InitCaptureIfPresent();
    }
    if (QScreen* s = QGuiApplication::primaryScreen()) {
        auto p = core::PlaceMainWindow(s->geometry().width(), s->geometry().height(), kWidth,
                                       kHeight);
        move(p.left, p.top);
    }
    // Draining starts from the first event-loop cycle.
    TimerRec.start();
    TimerStatus.start();
}

bool TForm1::HotKeysGlobal() const { return hotKeys_ && hotKeys_->IsGlobal(); }

void TForm1::WMHotKey(int id) {
    if (id == 101 && !core::Session.IsRecording) core::StartRecording();
    if (id == 102) core::Session.IsPaused = !core::Session.IsPaused;
    if (id == 103) core::StopRecording();
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
}

void TForm1::changeEvent(QEvent* e) {
    if (e->type() == QEvent::WindowStateChange) {
        if (windowState() & Qt::WindowMinimized) {
            core::Startup.IsMinimized = true;
        } else {
            setWindowTitle("Kestrune");
            core::Startup.IsMinimized = false;
        }
    }
    QWidget::changeEvent(e);
}

} // namespace mainwindow
