#pragma once
#include <QDialog>
#include <QLabel>
#include <QPushButton>
#include <QUrl>
#include <functional>

namespace mainwindow {

// The web page of the program, shown and opened by the About box.
inline const char* const kMakerWebAddress = "https://www.quenlow.example/kestrune/";

// The About box: program picture, the title with its shadow, the maker's web
// address as a link and an OK button.
class TFormAbout : public QDialog {
    Q_OBJECT
  public:
    explicit TFormAbout(QWidget* parent = nullptr);

    QLabel* ImageAbout;
    QLabel* Lab1; // the title's grey shadow
    QLabel* Lab2; // the title
    QLabel* LabWWW;
    QPushButton* BitBtnClose;

    // What a click on the link does after closing the box; tests replace it.
    std::function<void(const QUrl&)> openUrl;

    // The box's size in window units on a screen of this logical dots per
    // inch and pixel ratio. A screen of 120 pixels per inch (96 at 1.25, or
    // 120 unscaled) gets 430 x 320 of its pixels; any other 361 x 202 units.
    static QSize SizeForScreen(qreal logicalDpi, qreal ratio);
    // Takes the size for that screen; the OK button keeps its place at the
    // bottom centre.
    void FitToScreen(qreal logicalDpi, qreal ratio);

  protected:
    bool eventFilter(QObject* watched, QEvent* e) override;
    void showEvent(QShowEvent* e) override;
};

// Shows the About box modally, centred on `main` (the recorder window).
void ShowAbout(QWidget* main);

} // namespace mainwindow
