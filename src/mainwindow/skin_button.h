#pragma once
#include <QLabel>
#include <QString>
#include <functional>

namespace mainwindow {

// A picture button of the skin: mouse move shows the hover picture (and tells
// the window through onHover), mouse down shifts it one pixel right and down,
// mouse up shifts it back and runs onClick, wherever the mouse was released.
// Only RestoreNormal() takes the hover picture away.
class SkinButton : public QLabel {
    Q_OBJECT
  public:
    SkinButton(QWidget* parent, const QString& normal, const QString& hover, QPoint at);

    void SetPictures(const QString& normal, const QString& hover);
    void ShowHover();
    void RestoreNormal();
    bool IsHover() const { return hover_; }

    // What a release over the button does, for a press that comes from
    // assistive technology rather than the mouse.
    void Press();

    std::function<bool()> enabled; // when it returns false the button ignores the mouse
    std::function<void()> onHover;
    std::function<void()> onClick;
    bool restoreAtRelease = false; // normal picture back at mouse up

  protected:
    void mouseMoveEvent(QMouseEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;

  private:
    QString normal_, hover_name_;
    bool hover_ = false;
    bool down_ = false;
};

// A picture control that works as a slider, described for assistive
// technology: its name, range and value (and how to set one, if it can be).
struct SliderAccess {
    QString name;
    double minimum = 0;
    double maximum = 100;
    std::function<double()> value;
    std::function<void(double)> setValue;
};
// Makes `control` read as a slider through the accessibility interface.
void MakeAccessibleSlider(QWidget* control, SliderAccess access);

// Skinned buttons read as push buttons named by their hint and pressable;
// marked sliders as sliders. Installed once, by the first skinned control.
void InstallSkinAccessibility();

} // namespace mainwindow
