#pragma once
#include <QDialog>
#include <cstdint>
#include <functional>
#include <string>

class QLabel;
class QProgressBar;
class QPushButton;

namespace library {

// Format and place of the PCM in a WAV file, read from its own header.
struct WavPcm {
    uint16_t formatTag = 0; // 1 = PCM, 0xFFFE = extensible
    uint16_t channels = 0;
    uint32_t sampleRate = 0;
    uint16_t bitsPerSample = 0;
    uint64_t dataOffset = 0;
    uint64_t dataBytes = 0; // clipped to what the file holds
};
// Walks the RIFF chunks of the file; false when it is no integer PCM WAV.
bool ReadWavPcm(const std::string& path, WavPcm* out);

// The progress window of a WAV to MP3 conversion.
class TFormConvert : public QDialog {
    Q_OBJECT
  public:
    explicit TFormConvert(QWidget* parent = nullptr);

    // Converts SelectedFile into FileOps.ConvertTarget, keeping the window
    // responsive; returns when done or cancelled and closes the window.
    void Wave2MP3();

    bool IsConverting = false;
    QLabel* LabSource;
    QLabel* LabTarget;
    QLabel* Label1;
    QProgressBar* ProgressBar1;
    QPushButton* BtnCancel;

    // Told each percentage as it is shown (tests cancel from here).
    std::function<void(int)> onProgress;

  protected:
    void closeEvent(QCloseEvent* e) override;
    void reject() override; // Escape is a close request too

  private:
    void BtnCancelClick();
};

TFormConvert& FormConvert();

} // namespace library
