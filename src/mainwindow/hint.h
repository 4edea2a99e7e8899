#pragma once
#include <QLabel>
#include <QPoint>
#include <QString>
#include <QWidget>

namespace mainwindow {

// The small tooltip window of the skinned sliders: borderless, stays on top,
// one label. The threshold slider and the player's sliders move, fill, show
// and close it themselves.
class TFormHint : public QWidget {
    Q_OBJECT
  public:
    explicit TFormHint(QWidget* parent = nullptr);

    QLabel* LabHint;

    void SetText(const QString& text);
    QString Text() const { return LabHint->text(); }
    // Places the window's top-left corner at a screen point.
    void MoveTo(QPoint screen) { move(screen); }
    // Fills, places and shows it in one go.
    void ShowAt(QPoint screen, const QString& text);
};

// The one hint window, made on first use.
TFormHint& FormHint();

} // namespace mainwindow
