#pragma once
#include <QTimer>
#include <QWidget>
#include <memory>

namespace platform {
class HotKeys;
}

namespace mainwindow {

// The recorder window. Its creation runs the start-up sequence; closing it
// goes through the close request, which can refuse.
class TForm1 : public QWidget {
    Q_OBJECT
  public:
    explicit TForm1(QWidget* parent = nullptr);
    ~TForm1() override;

    void WMHotKey(int id);
    QTimer TimerRec;
    QTimer TimerStatus;
    bool HotKeysGlobal() const;

  protected:
    void closeEvent(QCloseEvent* e) override;
    void changeEvent(QEvent* e) override;

  private:
    void FormCreate();
    void FormClose();
    std::unique_ptr<platform::HotKeys> hotKeys_;
};

extern TForm1* Form1;

} // namespace mainwindow
