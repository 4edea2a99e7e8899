#include "mainwindow/look.h"

#include <QApplication>
#include <QEvent>
#include <QStyleFactory>
#include <QToolTip>
#include <QWidget>
#include <cmath>

#include "mainwindow/images.h"

namespace mainwindow {

namespace {

const QColor kText(224, 224, 232);
const QColor kDisabledText(122, 134, 139);
const QColor kField(36, 46, 50);
const QColor kButton(72, 88, 94);
// The hint window's colours, so tool tips and the threshold hint look alike.
const QColor kTipBase(240, 240, 230);
const QColor kTipText(32, 32, 32);
// Text for a light surface: dark enough for 4.5:1 on anything lighter than
// middle grey.
const QColor kDarkText(16, 16, 16);

double Linear(double channel) {
    return channel <= 0.04045 ? channel / 12.92 : std::pow((channel + 0.055) / 1.055, 2.4);
}

// Windows that paint a light surface of their own (the About box, the
// conversion window) would otherwise inherit the light text meant for the
// dark look. Checked when a window is shown, so it covers every such window.
class ReadableText : public QObject {
  public:
    using QObject::QObject;

  protected:
    bool eventFilter(QObject* watched, QEvent* e) override {
        if (e->type() == QEvent::Show && watched->isWidgetType()) {
            auto* w = static_cast<QWidget*>(watched);
            if (w->isWindow()) Fix(w);
        }
        return false;
    }

  private:
    static void Fix(QWidget* w) {
        QPalette pal = w->palette();
        const QColor surface = pal.color(QPalette::Active, QPalette::Window);
        if (ContrastRatio(pal.color(QPalette::Active, QPalette::WindowText), surface) >= 4.5)
            return;
        if (ContrastRatio(kDarkText, surface) < 4.5) return; // a dark surface: not ours to judge
        for (auto group : {QPalette::Active, QPalette::Inactive})
            pal.setColor(group, QPalette::WindowText, kDarkText);
        w->setPalette(pal);
    }
};

} // namespace

double RelativeLuminance(const QColor& c) {
    const QColor rgb = c.toRgb();
    return 0.2126 * Linear(rgb.redF()) + 0.7152 * Linear(rgb.greenF()) +
           0.0722 * Linear(rgb.blueF());
}

double ContrastRatio(const QColor& a, const QColor& b) {
    double la = RelativeLuminance(a), lb = RelativeLuminance(b);
    if (la < lb) std::swap(la, lb);
    return (la + 0.05) / (lb + 0.05);
}

QPalette DarkPalette() {
    QPalette pal;
    for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        pal.setColor(group, QPalette::Window, SkinColor);
        pal.setColor(group, QPalette::WindowText, kText);
        pal.setColor(group, QPalette::Base, kField);
        pal.setColor(group, QPalette::AlternateBase, SkinColor);
        pal.setColor(group, QPalette::Text, kText);
        pal.setColor(group, QPalette::PlaceholderText, kDisabledText);
        pal.setColor(group, QPalette::Button, kButton);
        pal.setColor(group, QPalette::ButtonText, kText);
        pal.setColor(group, QPalette::BrightText, QColor(255, 140, 130));
        pal.setColor(group, QPalette::Highlight, AccentColor);
        pal.setColor(group, QPalette::HighlightedText, QColor(20, 30, 34));
        pal.setColor(group, QPalette::Link, AccentColor);
        pal.setColor(group, QPalette::LinkVisited, QColor(200, 170, 255));
        pal.setColor(group, QPalette::Light, QColor(96, 112, 118));
        pal.setColor(group, QPalette::Midlight, QColor(80, 96, 102));
        pal.setColor(group, QPalette::Mid, QColor(44, 56, 60));
        pal.setColor(group, QPalette::Dark, QColor(30, 38, 41));
        pal.setColor(group, QPalette::Shadow, QColor(16, 20, 22));
        pal.setColor(group, QPalette::ToolTipBase, kTipBase);
        pal.setColor(group, QPalette::ToolTipText, kTipText);
    }
    pal.setColor(QPalette::Disabled, QPalette::WindowText, kDisabledText);
    pal.setColor(QPalette::Disabled, QPalette::Text, kDisabledText);
    pal.setColor(QPalette::Disabled, QPalette::ButtonText, kDisabledText);
    pal.setColor(QPalette::Disabled, QPalette::Base, SkinColor);
    pal.setColor(QPalette::Disabled, QPalette::Button, QColor(60, 74, 79));
    pal.setColor(QPalette::Disabled, QPalette::Highlight, QColor(96, 112, 118));
    return pal;
}

void ApplyLook(QApplication& app) {
    // Fusion draws every control from the palette, so the look is the same on
    // every desktop instead of following the desktop's own theme.
    if (QStyle* fusion = QStyleFactory::create(QStringLiteral("Fusion"))) app.setStyle(fusion);
    app.setPalette(DarkPalette());
    QToolTip::setPalette(DarkPalette());
    app.installEventFilter(new ReadableText(&app));
}

} // namespace mainwindow
