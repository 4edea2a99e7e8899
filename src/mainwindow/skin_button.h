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

} // namespace mainwindow
