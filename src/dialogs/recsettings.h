#pragma once
#include <QDialog>
#include <QIcon>
#include <QStringList>
#include <array>
#include <cstdint>
#include <functional>
#include <vector>

class QCheckBox;
class QComboBox;
class QFrame;
class QGroupBox;
class QLabel;
class QPushButton;
class QShowEvent;
class QSlider;
class QTabWidget;

namespace dialogs {

// Page order of PControlFormat.
enum FormatPage { kPageMP3 = 0, kPageOGG = 1, kPageWMA = 2, kPageWAV = 3, kPageFLAC = 4 };

// The WMA list items (kbit/s) for the encoder's rates (bit/s, a 0 ends the
// list): only the usual WMA steps, in the encoder's order.
QStringList WmaRateItems(const std::vector<uint32_t>& rates);

// "Quality - " + the value in its shortest form ("Quality - 5", "Quality - 2.5").
QString OggQualityText(float quality);

// The output format and its parameters. Edits core::Settings in place: some
// values at once, the rest when it closes, whichever way it is closed.
class TFormRecSettings : public QDialog {
    Q_OBJECT
  public:
    explicit TFormRecSettings(QWidget* parent = nullptr);
    ~TFormRecSettings() override;

    QPushButton* BitBtnOK = nullptr;
    QTabWidget* PControlFormat = nullptr;

    QWidget* TSheetMP3 = nullptr;
    QLabel* LabMP3BitRate = nullptr;
    QComboBox* CBoxMP3BitRate = nullptr;
    QLabel* LabMP3Mode = nullptr;
    QComboBox* CBoxMP3Mode = nullptr;
    QGroupBox* GBoxMP3_VBR = nullptr;
    QCheckBox* ChBoxMP3VBR = nullptr;
    QLabel* LabMinBRate = nullptr;
    QComboBox* CBoxMP3MinBRate = nullptr;
    QLabel* LabMaxBRate = nullptr;
    QComboBox* CBoxMP3MaxBRate = nullptr;
    QLabel* LabVBRQuality = nullptr;
    QSlider* TBarMP3_VBR_Quality = nullptr;
    QLabel* LabBest = nullptr;
    QLabel* LabWorst = nullptr;

    QWidget* TSheetOGG = nullptr;
    QLabel* LabOggBitRate = nullptr;
    QComboBox* CBoxOggRate = nullptr;
    QLabel* LabOggChannels = nullptr;
    QComboBox* CBoxOggChannels = nullptr;
    QGroupBox* GrBoxOgg_QualityMode = nullptr;
    QCheckBox* ChBoxOggQuality = nullptr;
    QLabel* LabOggQuality = nullptr;
    QSlider* TBarOGG_Quality = nullptr;
    QLabel* LabOggLow = nullptr;
    QLabel* LabOggHigh = nullptr;

    QWidget* TSheetWma = nullptr;
    QLabel* LabWmaBitRate = nullptr;
    QComboBox* CBoxWmaRate = nullptr;
    QLabel* LabWmaChannels = nullptr;
    QComboBox* CBoxWmaChannels = nullptr;

    QWidget* TSheetWav = nullptr;
    QLabel* LabWavSpsIn = nullptr;
    QComboBox* CBoxSpsWav = nullptr;
    QLabel* LabWavChannels = nullptr;
    QComboBox* CBoxWavChannel = nullptr;
    QLabel* LabWavBits = nullptr;
    QComboBox* CBoxWavBits = nullptr;

    QWidget* TSheetFLAC = nullptr;
    QLabel* LabSpsFlac = nullptr;
    QComboBox* CBoxSpsFlac = nullptr;
    QLabel* LabFlacChannels = nullptr;
    QComboBox* CBoxFlacChannel = nullptr;
    QLabel* LabFlacLevel = nullptr;
    QSlider* TBarFlac_Level = nullptr;
    QLabel* LabFlacFast = nullptr;
    QLabel* LabFlacBest = nullptr;

    // Tab icons: 0 for the other pages, 1 for the active format's page.
    std::array<QIcon, 2> ImageList1;
    // One mark per slider position: 9 MP3 quality, 11 OGG quality, 9 FLAC level.
    std::vector<QFrame*> TickMarks;

    // Where the WMA rates come from (rate, channels, flags): the encoder, or
    // a script in tests, since the real encoder never refuses a channel count.
    std::function<std::vector<uint32_t>(uint32_t, uint32_t, uint32_t)> GetWmaRates;

    void BuildRateLists();
    void FillWmaRates();
    void UpdateVbrControls();
    void UpdateOggQualityControls();
    void SelectFormatPage();
    void CreateTickMarks();

    void FormShow();
    // A page became visible (the dialog opened on it or its tab was picked).
    void PageShow(int page);
    // Applies the dialog to the settings; runs on every way of closing.
    void FormClose();

    // The image index each tab shows.
    int TabImage(int page) const { return tabImage_[static_cast<size_t>(page)]; }

    void ChBoxMP3VBRClick();
    void ChBoxOggQualityClick();
    void TBarOGG_QualityChange();
    void TBarFlac_LevelChange();
    void CBoxWavChannelChange();
    void CBoxFlacChannelChange();
    void CBoxWavBitsChange();
    void CBoxSpsWavChange();
    void CBoxSpsFlacChange();
    void CBoxWmaChannelsChange();

    void done(int r) override;

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    void SetTabImage(int page, int image);
    std::array<int, 5> tabImage_{};
};

// The one dialog, once created (OpenFormatSettings creates it when needed).
extern TFormRecSettings* FormRecSettings;

// Shows the format dialog modally over the main window unless a recording
// runs or the player is shown (then returns false and does nothing). After
// it closes, `refreshFormatLabel` runs (the main window's format label), then
// capture is closed and reopened so its blocks fit the new format.
bool OpenFormatSettings(QWidget* mainWindow, const std::function<void()>& refreshFormatLabel);

} // namespace dialogs
