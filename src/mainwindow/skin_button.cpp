#include "mainwindow/skin_button.h"

#include <QMouseEvent>

#include "mainwindow/images.h"

namespace mainwindow {

SkinButton::SkinButton(QWidget* parent, const QString& normal, const QString& hover, QPoint at)
    : QLabel(parent), normal_(normal), hover_name_(hover) {
    setPixmap(Form4().Picture(normal_));
    resize(pixmap().deviceIndependentSize().toSize());
    move(at);
    setMouseTracking(true);
}

void SkinButton::SetPictures(const QString& normal, const QString& hover) {
    normal_ = normal;
    hover_name_ = hover;
    setPixmap(Form4().Picture(hover_ ? hover_name_ : normal_));
}

void SkinButton::ShowHover() {
    hover_ = true;
    setPixmap(Form4().Picture(hover_name_));
}

void SkinButton::RestoreNormal() {
    hover_ = false;
    setPixmap(Form4().Picture(normal_));
}

void SkinButton::mouseMoveEvent(QMouseEvent* e) {
    if (enabled && !enabled()) return;
    if (!hover_) ShowHover();
    if (onHover) onHover();
    e->accept();
}

void SkinButton::mousePressEvent(QMouseEvent* e) {
    if (enabled && !enabled()) return;
    down_ = true;
    move(pos() + QPoint(1, 1));
    e->accept();
}

void SkinButton::mouseReleaseEvent(QMouseEvent* e) {
    if (!down_) return;
    down_ = false;
    move(pos() - QPoint(1, 1));
    if (restoreAtRelease) RestoreNormal();
    e->accept();
    if (onClick) onClick();
}

} // namespace mainwindow
