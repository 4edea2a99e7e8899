#include "mainwindow/hint.h"

#include <QFont>
#include <QFontMetrics>
#include <QPalette>
#include <algorithm>


namespace mainwindow {

TFormHint::TFormHint(QWidget* parent)
    : QWidget(parent, Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                          Qt::WindowDoesNotAcceptFocus) {
    setAttribute(Qt::WA_ShowWithoutActivating);
    setObjectName("FormHint");
    resize(137, 26);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, QColor(240, 240, 230));
    pal.setColor(QPalette::WindowText, QColor(32, 32, 32));
    setPalette(pal);
    setAutoFillBackground(true);
    // A thin frame in the skin colour, so the window reads as part of the skin.
    setStyleSheet("#FormHint { border: 1px solid rgb(53, 67, 72); }");
    LabHint = new QLabel("Hint Text", this);
    LabHint->setObjectName("LabHint");
    QFont f("Liberation Sans");
    f.setPixelSize(11);
    LabHint->setFont(f);
    LabHint->move(6, 6);
    LabHint->adjustSize();
}

void TFormHint::SetText(const QString& text) {
    LabHint->setText(text);
    LabHint->adjustSize();
    // Long texts widen the window rather than being cut.
    int w = std::max(137, LabHint->width() + 12);
    if (w != width()) resize(w, 26);
}

void TFormHint::ShowAt(QPoint screen, const QString& text) {
    SetText(text);
    MoveTo(screen);
    if (!isVisible()) show();
    raise();
}

TFormHint& FormHint() {
    static TFormHint* hint = new TFormHint; // lives for the program's run
    return *hint;
}

} // namespace mainwindow
