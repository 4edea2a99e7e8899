#include "mainwindow/skin_button.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QHash>
#include <QMouseEvent>
#include <algorithm>

#include "mainwindow/images.h"

namespace mainwindow {

namespace {

QHash<QObject*, SliderAccess>& Sliders() {
    static QHash<QObject*, SliderAccess> sliders;
    return sliders;
}

// The first line of a hint is what the control is; the rest says more.
QString FirstLine(const QString& hint) {
    return hint.section('\n', 0, 0).trimmed();
}

class SkinButtonAccessible : public QAccessibleWidget {
  public:
    explicit SkinButtonAccessible(SkinButton* b) : QAccessibleWidget(b, QAccessible::Button) {}
    SkinButton* Button() const { return static_cast<SkinButton*>(widget()); }

    QString text(QAccessible::Text t) const override {
        const QString hint = Button()->toolTip();
        if (t == QAccessible::Name)
            return Button()->accessibleName().isEmpty() ? FirstLine(hint)
                                                        : Button()->accessibleName();
        if (t == QAccessible::Description) return hint;
        return QAccessibleWidget::text(t);
    }
    QAccessible::State state() const override {
        QAccessible::State st = QAccessibleWidget::state();
        if (Button()->enabled && !Button()->enabled()) st.disabled = true;
        return st;
    }
    QStringList actionNames() const override { return {pressAction()}; }
    void doAction(const QString& name) override {
        if (name == pressAction()) Button()->Press();
    }
    QStringList keyBindingsForAction(const QString&) const override { return {}; }
};

class SliderAccessible : public QAccessibleWidget, public QAccessibleValueInterface {
  public:
    explicit SliderAccessible(QWidget* w) : QAccessibleWidget(w, QAccessible::Slider) {}
    const SliderAccess* Access() const {
        auto it = Sliders().constFind(widget());
        return it == Sliders().constEnd() ? nullptr : &*it;
    }
    void* interface_cast(QAccessible::InterfaceType t) override {
        if (t == QAccessible::ValueInterface) return static_cast<QAccessibleValueInterface*>(this);
        return QAccessibleWidget::interface_cast(t);
    }
    QString text(QAccessible::Text t) const override {
        const SliderAccess* a = Access();
        if (a && t == QAccessible::Name) return a->name;
        if (a && t == QAccessible::Value) return QString::number(currentValue().toDouble(), 'f', 1);
        return QAccessibleWidget::text(t);
    }
    QVariant currentValue() const override {
        const SliderAccess* a = Access();
        return a && a->value ? a->value() : 0.0;
    }
    void setCurrentValue(const QVariant& v) override {
        const SliderAccess* a = Access();
        if (!a || !a->setValue) return;
        a->setValue(std::clamp(v.toDouble(), a->minimum, a->maximum));
    }
    QVariant maximumValue() const override {
        const SliderAccess* a = Access();
        return a ? a->maximum : 0.0;
    }
    QVariant minimumValue() const override {
        const SliderAccess* a = Access();
        return a ? a->minimum : 0.0;
    }
    QVariant minimumStepSize() const override { return 1.0; }
};

QAccessibleInterface* SkinFactory(const QString&, QObject* object) {
    if (auto* b = qobject_cast<SkinButton*>(object)) return new SkinButtonAccessible(b);
    if (Sliders().contains(object))
        if (auto* w = qobject_cast<QWidget*>(object)) return new SliderAccessible(w);
    return nullptr;
}

} // namespace

void InstallSkinAccessibility() {
    static const bool installed = [] {
        QAccessible::installFactory(SkinFactory);
        return true;
    }();
    (void)installed;
}

void MakeAccessibleSlider(QWidget* control, SliderAccess access) {
    InstallSkinAccessibility();
    Sliders().insert(control, std::move(access));
    QObject::connect(control, &QObject::destroyed, [control] { Sliders().remove(control); });
}

SkinButton::SkinButton(QWidget* parent, const QString& normal, const QString& hover, QPoint at)
    : QLabel(parent), normal_(normal), hover_name_(hover) {
    InstallSkinAccessibility();
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

void SkinButton::Press() {
    if (enabled && !enabled()) return;
    if (restoreAtRelease) RestoreNormal();
    if (onClick) onClick();
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
