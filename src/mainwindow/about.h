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

    // The box's size on a screen of this many logical dots per inch: larger
    // at 120, where the system's text is larger too.
    static QSize SizeForDpi(qreal dpi);
    // Takes the size for that screen; the OK button keeps its place at the
    // bottom centre.
    void FitToDpi(qreal dpi);

  protected:
    bool eventFilter(QObject* watched, QEvent* e) override;
    void showEvent(QShowEvent* e) override;
};

// Shows the About box modally, centred on `main` (the recorder window).
void ShowAbout(QWidget* main);

} // namespace mainwindow
