#include "library/filelist.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QImage>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QTemporaryDir>
#include <sys/time.h>

#include <ctime>
#include <fstream>
#include <string>
#include <vector>

#include "core/settings.h"
#include "core/state.h"
#include "library/file_ops.h"
#include "mainwindow/skin_button.h"
#include "platform/prompt.h"

namespace {

void Key(QWidget* w, int key) {
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QApplication::sendEvent(w, &press);
}

void Mouse(QWidget* w, QEvent::Type type, QPoint at = QPoint(5, 5)) {
    QMouseEvent e(type, QPointF(at), w->mapToGlobal(QPointF(at)), Qt::LeftButton,
                  type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton,
                  Qt::NoModifier);
    QApplication::sendEvent(w, &e);
}

bool Near(const QColor& a, const QColor& b) {
    return std::abs(a.red() - b.red()) + std::abs(a.green() - b.green()) +
               std::abs(a.blue() - b.blue()) <
           30;
}

void PutLE(std::string& s, uint32_t v, int n) {
    for (int i = 0; i < n; ++i)
        s.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

// A 16-bit mono WAV of `seconds` at `rate` Hz, last written at the given local time.
void WriteRecording(const std::string& path, int seconds, int day, int hour, uint32_t rate = 8000) {
    const uint32_t data = rate * 2 * static_cast<uint32_t>(seconds);
    std::string h = "RIFF";
    PutLE(h, 36 + data, 4);
    h += "WAVEfmt ";
    for (uint32_t v : {16u, 1u | (1u << 16), rate, rate * 2, 2u | (16u << 16)})
        PutLE(h, v, 4);
    h += "data";
    PutLE(h, data, 4);
    h.resize(h.size() + data, '\0');
    std::ofstream(path, std::ios::binary) << h;
    std::tm t{};
    t.tm_year = 2024 - 1900;
    t.tm_mon = 2;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = 7;
    t.tm_sec = 3;
    t.tm_isdst = -1;
    const time_t when = mktime(&t);
    struct timeval tv[2] = {{when, 0}, {when, 0}};
    utimes(path.c_str(), tv);
}

// The player, tag editor and inspection as the file list sees them: every
// call is written down.
struct FakePeers : library::FileListPeers {
    std::vector<std::string>& calls;
    std::function<void()> inspect;
    explicit FakePeers(std::vector<std::string>& c) : calls(c) {}
    void ShowPlayer() override { calls.push_back("ShowPlayer"); }
    void PlayFile() override { calls.push_back("PlayFile"); }
    void StopPlaying() override { calls.push_back("StopPlaying"); }
    void ClosePlayer() override { calls.push_back("ClosePlayer"); }
    void FreePlayStream() override { calls.push_back("FreePlayStream"); }
    void ClearTags() override { calls.push_back("ClearTags"); }
    void EnableTags() override { calls.push_back("EnableTags"); }
    void ShowID3v1Tags() override { calls.push_back("ShowID3v1Tags"); }
    void PlaceTagEditor(int x, int y, bool show) override {
        calls.push_back("PlaceTagEditor " + std::to_string(x) + "," + std::to_string(y) +
                        (show ? " show" : " hide"));
    }
    void InspectFile() override {
        if (inspect) inspect();
    }
    void StoreSettings() override { calls.push_back("StoreSettings"); }
    QWidget* MainWindow() override { return nullptr; }
};

// A window over a folder of four real recordings, scanned and sorted by the
// list's own scan; the player, tag editor and inspection are seen as calls.
class FileListTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        core::Settings = core::RecordingSettings{};
        core::Settings.FolderName = dir.path().toStdString();
        core::ResetSessionState();
        library::FileList = library::FileListState{};
        platform::SetPrompt(&prompt);
        WriteRecording(Path("alpha.wav"), 10, 5, 9);
        WriteRecording(Path("bravo.mp3"), 3, 6, 10);
        WriteRecording(Path("charlie.wav"), 7, 7, 11);
        WriteRecording(Path("delta.wav"), 2, 8, 12);
        peers.inspect = [this] {
            ++inspections;
            core::Session.SelectedFileInfo = "128 kbps, 44100 Hz, joint stereo";
        };
        form = std::make_unique<library::TForm2>(peers);
    }
    void TearDown() override {
        form.reset();
        platform::SetPrompt(nullptr);
    }
    std::string Path(const std::string& n) const { return dir.path().toStdString() + "/" + n; }
    // x of a header point `offset` pixels right of the left edge of column c.
    int HeaderX(int col, int offset) const {
        return form->SGridFiles->horizontalHeader()->sectionPosition(col) + offset;
    }
    QImage Grab() { return form->grab().toImage(); }

    QTemporaryDir dir;
    // True when column `col` reads in the given order from the top row down.
    bool ColumnOrdered(int col, bool ascending) const {
        for (int r = 1; r + 1 < form->RowCount(); ++r) {
            const std::string a = form->CellText(r, col), b = form->CellText(r + 1, col);
            if (ascending ? a > b : a < b) return false;
        }
        return true;
    }

    platform::ScriptedPrompt prompt;
    int inspections = 0;
    std::vector<std::string> calls;
    FakePeers peers{calls};
    std::unique_ptr<library::TForm2> form;
};

TEST_F(FileListTest, CreationScansShowsAndSetsTheFlag) {
    EXPECT_TRUE(library::FileList.IsFileListCreated);
    EXPECT_EQ(form->size(), QSize(399, 299));
    EXPECT_EQ(form->RowCount(), 5);
    EXPECT_EQ(form->CellText(1, 0), "        alpha.wav");
    EXPECT_EQ(form->CellText(1, 1), "    0:00:10");
    EXPECT_EQ(form->CellText(1, 2), " 05/03/2024   09:07:03");
    EXPECT_EQ(form->CellText(4, 0), "        delta.wav");
    EXPECT_EQ(form->RowPath(4), Path("delta.wav"));
    EXPECT_EQ(form->SGridFiles->columnWidth(0), 160);
    EXPECT_EQ(form->SGridFiles->columnWidth(1), 60);
    EXPECT_EQ(form->SGridFiles->columnWidth(2), 135);
    form.reset();
    EXPECT_FALSE(library::FileList.IsFileListCreated);
}

TEST_F(FileListTest, HeaderClicksSortAndIgnoreClicksNearABorder) {
    struct Step {
        int col, offset, sortAfter;
    } steps[] = {
        {1, 30, 3}, // Duration while sorted by name: ascending by duration
        {1, 30, 4}, // again: descending
        {0, 60, 1}, // Name: ascending
        {0, 60, 2}, //
        {2, 40, 5}, // Date: ascending
        {2, 3, 5},  // 3 pixels from the border between Duration and Date: nothing
        {1, 57, 5}, // 3 pixels before that border: nothing
        {2, 40, 6},
    };
    const int keyColumn[] = {0, 0, 1, 1, 2, 2};
    for (const auto& s : steps) {
        SCOPED_TRACE(std::to_string(s.col) + "+" + std::to_string(s.offset));
        form->SGridFilesMouseUp(0, HeaderX(s.col, s.offset));
        EXPECT_EQ(core::Settings.Sort, s.sortAfter);
        EXPECT_EQ(library::FileList.LastClickRow, 0);
        const int sort = core::Settings.Sort;
        EXPECT_TRUE(ColumnOrdered(keyColumn[sort - 1], sort % 2 == 1)) << "rows not re-sorted";
    }
    // A real release on the header goes the same way.
    Mouse(form->SGridFiles->horizontalHeader()->viewport(), QEvent::MouseButtonRelease,
          QPoint(HeaderX(0, 60), 8));
    EXPECT_EQ(core::Settings.Sort, 1);
    EXPECT_EQ(form->CellText(1, 0), "        alpha.wav");
    EXPECT_EQ(calls.back(), "StoreSettings");
}

TEST_F(FileListTest, SelectingARowMakesItCurrentOnceAndShowsItsCaption) {
    form->SGridFilesSelectCell(2);
    EXPECT_EQ(core::Session.SelectedFile, Path("bravo.mp3"));
    EXPECT_EQ(inspections, 1);
    EXPECT_EQ(calls, (std::vector<std::string>{"FreePlayStream", "ClearTags", "EnableTags",
                                               "ShowID3v1Tags"}));
    EXPECT_EQ(form->LabFile->text(), "bravo.mp3");
    EXPECT_EQ(form->LabProp->text(), "  [128 kbps, 44100 Hz, joint stereo]");
    EXPECT_EQ(form->LabProp->x(),
              form->LabFile->x() + QFontMetrics(form->font()).horizontalAdvance("bravo.mp3"));
    form->SGridFilesSelectCell(2); // already current: not inspected again
    EXPECT_EQ(inspections, 1);
    calls.clear();
    // A re-sort selects the current file's row again.
    form->SGridFilesMouseUp(0, HeaderX(0, 60));
    ASSERT_EQ(core::Settings.Sort, 2);
    EXPECT_EQ(form->SGridFiles->currentRow() + 1, 3);
    EXPECT_TRUE(form->SGridFiles->item(2, 0)->isSelected());
    calls.clear();
    form->SGridFilesSelectCell(1); // a WAV: the tag editor stays disabled
    EXPECT_EQ(calls, (std::vector<std::string>{"FreePlayStream", "ClearTags"}));
}

// After a delete the next recording moves up into the row the grid still
// holds as current: a click on it must still make it the current file.
TEST_F(FileListTest, AClickOnTheCurrentRowSelectsItsFile) {
    form->resize(399, 299);
    form->SGridFiles->setCurrentCell(0, 0);
    core::Session.SelectedFile.clear();
    QWidget* vp = form->SGridFiles->viewport();
    const QPoint at = form->SGridFiles->visualItemRect(form->SGridFiles->item(0, 1)).center();
    Mouse(vp, QEvent::MouseButtonPress, at);
    Mouse(vp, QEvent::MouseButtonRelease, at);
    EXPECT_EQ(core::Session.SelectedFile, Path("alpha.wav"));
}

TEST_F(FileListTest, SelectionIsRefusedWhileRecordingOrPaused) {
    struct Case {
        bool recording, paused;
        int row;
    } cases[] = {{true, false, 2}, {false, true, 2}, {false, false, 0}};
    core::Session.SelectedFile = Path("alpha.wav");
    for (const auto& c : cases) {
        core::Session.IsRecording = c.recording;
        core::Session.IsPaused = c.paused;
        form->SGridFilesSelectCell(c.row);
        EXPECT_EQ(core::Session.SelectedFile, Path("alpha.wav"));
    }
    EXPECT_EQ(inspections, 0);
}

TEST_F(FileListTest, CaptionCutsALongNameOrTheSummaryToThreeHundredPixels) {
    const QFontMetrics fm(form->font());
    core::Session.SelectedFile = Path(std::string(80, 'w') + ".wav");
    core::Session.SelectedFileInfo = "1411 kbps, 44100 Hz, 16 bit stereo";
    form->ShowFileCaption();
    EXPECT_LE(fm.horizontalAdvance(form->LabFile->text()), 300);
    EXPECT_GT(fm.horizontalAdvance(form->LabFile->text() + "w"), 300);
    EXPECT_TRUE(form->LabProp->text().isEmpty());

    core::Session.SelectedFile = Path(std::string(30, 'm') + ".wav");
    form->ShowFileCaption();
    const QString name = form->LabFile->text(), props = form->LabProp->text();
    EXPECT_EQ(name.toStdString(), std::string(30, 'm') + ".wav");
    EXPECT_FALSE(props.endsWith("]")); // the closing bracket goes first
    EXPECT_TRUE(QString("  [1411 kbps, 44100 Hz, 16 bit stereo]").startsWith(props));
    EXPECT_LE(fm.horizontalAdvance(name) + fm.horizontalAdvance(props), 300);

    core::Session.SelectedFile.clear();
    form->ShowFileCaption();
    EXPECT_TRUE(form->LabFile->text().isEmpty());
}

TEST_F(FileListTest, DoubleClickAndKeysReachThePlayer) {
    core::Session.SelectedFile = Path("alpha.wav");
    library::FileList.LastClickRow = 0; // mouse-up fell on the header
    form->SGridFilesDblClick();
    EXPECT_TRUE(calls.empty());
    library::FileList.LastClickRow = 2;
    form->SGridFilesDblClick();
    EXPECT_EQ(calls, (std::vector<std::string>{"ShowPlayer", "PlayFile"}));
    calls.clear();
    core::Session.IsPlayerShown = true;
    form->SGridFilesDblClick();
    EXPECT_EQ(calls, (std::vector<std::string>{"PlayFile"}));

    calls.clear();
    Key(form->SGridFiles, Qt::Key_Escape);
    EXPECT_EQ(calls, (std::vector<std::string>{"ClosePlayer", "StopPlaying"}));
    calls.clear();
    core::Session.IsRecording = true;
    Key(form->SGridFiles, Qt::Key_Return);
    form->SGridFilesDblClick();
    EXPECT_TRUE(calls.empty());
}

TEST_F(FileListTest, DeleteKeyDeletesTheSelectedRows) {
    form->SGridFiles->setRangeSelected(QTableWidgetSelectionRange(1, 0, 2, 2), true);
    prompt.yesNoAnswers.push_back(true);
    Key(form->SGridFiles, Qt::Key_Delete);
    ASSERT_EQ(prompt.messages.size(), 1u);
    EXPECT_EQ(prompt.messages[0],
              "Are you sure you want to delete the 2 selected files?\n\nbravo.mp3\ncharlie.wav\n");
    EXPECT_FALSE(QFile::exists(QString::fromStdString(Path("bravo.mp3"))));
    EXPECT_FALSE(QFile::exists(QString::fromStdString(Path("charlie.wav"))));
    EXPECT_TRUE(QFile::exists(QString::fromStdString(Path("alpha.wav"))));
    EXPECT_EQ(form->RowCount(), 3); // rescanned: two left
    EXPECT_EQ(form->CellText(2, 0), "        delta.wav");
}

TEST_F(FileListTest, AnEmptyFolderShowsOneEmptyRowAndIgnoresDelete) {
    QDir(dir.path()).removeRecursively();
    QDir().mkpath(dir.path());
    form->FindFiles();
    form->ShowFiles();
    EXPECT_EQ(form->RowCount(), 2);
    EXPECT_EQ(form->CellText(1, 0), "");
    form->SGridFilesSelectCell(1);
    EXPECT_TRUE(core::Session.SelectedFile.empty());
    Key(form->SGridFiles, Qt::Key_Delete);
    EXPECT_TRUE(prompt.messages.empty());
}

TEST_F(FileListTest, TagButtonTogglesTheTagEditorBesideTheList) {
    form->move(100, 50);
    for (const char* expected : {"PlaceTagEditor 499,50 show", "PlaceTagEditor 499,50 hide"}) {
        calls.clear();
        Mouse(form->ImageTag, QEvent::MouseButtonPress);
        Mouse(form->ImageTag, QEvent::MouseButtonRelease);
        ASSERT_EQ(calls.size(), 1u);
        EXPECT_EQ(calls[0], expected);
    }
    library::FileList.IsTagEditorShown = true;
    form->close();
    EXPECT_FALSE(library::FileList.IsTagEditorShown);
}

TEST_F(FileListTest, MenuEnablesItsCommandsByTheCurrentFile) {
    form->PMenuPopup();
    EXPECT_FALSE(form->pmPlay->isEnabled());
    EXPECT_FALSE(form->pmWav2MP3->isVisible());
    core::Session.SelectedFile = Path("bravo.mp3");
    form->PMenuPopup();
    EXPECT_TRUE(form->pmDelete->isEnabled());
    EXPECT_FALSE(form->pmWav2MP3->isVisible());

    // A 16-bit 8000 Hz WAV is no conversion source; one at 44100 Hz is.
    core::Session.SelectedFile = Path("alpha.wav");
    form->PMenuPopup();
    EXPECT_FALSE(form->pmWav2MP3->isVisible());
    WriteRecording(Path("echo.wav"), 1, 9, 9, 44100);
    core::Session.SelectedFile = Path("echo.wav");
    form->PMenu->popup(QPoint(10, 10)); // runs the pop-up rule
    EXPECT_TRUE(form->pmWav2MP3->isVisible());
    EXPECT_TRUE(form->pmWav2MP3->isEnabled());
    EXPECT_EQ(form->pmWav2MP3->text().trimmed(), "Convert to MP3 (128 kbps)");
    QDir().mkpath(KESTRUNE_BUILD_DIR "/screenshots");
    EXPECT_TRUE(form->PMenu->grab().save(KESTRUNE_BUILD_DIR "/screenshots/filelist_menu.png"));
    form->PMenu->hide();
}

// Pixel checks of the drawing, and a picture of the window to look at.
TEST_F(FileListTest, GridDrawsHeaderRowsAndSelection) {
    core::Settings.Sort = 1;
    core::Session.SelectedFile = Path("charlie.wav");
    core::Session.SelectedFileInfo = "128 kbps, 8000 Hz, 16 bit mono";
    form->ShowFiles();
    form->ShowFileCaption();
    form->show();
    QImage img = Grab();
    const QPoint grid = form->SGridFiles->pos();
    const int headerH = form->SGridFiles->horizontalHeader()->height();
    auto body = [&](int row, int x) {
        return img.pixelColor(grid.x() + x, grid.y() + headerH + (row - 1) * 17 + 15);
    };
    // Header fill, between the texts.
    EXPECT_EQ(img.pixelColor(grid.x() + 150, grid.y() + 14), QColor(101, 115, 120));
    // A plain row is the skin colour, the selected row (3) is lighter.
    EXPECT_EQ(body(1, 150), QColor(53, 67, 72));
    EXPECT_EQ(body(3, 150), QColor(133, 147, 152));
    EXPECT_EQ(body(3, 230), QColor(133, 147, 152)); // the whole row
    // Some text is drawn in row 1 in the accent colour (its inner pixels; the
    // edges are smoothed into the background).
    bool accent = false;
    for (int x = 40; x < 150 && !accent; ++x)
        for (int y = 0; y < 14 && !accent; ++y)
            accent =
                Near(img.pixelColor(grid.x() + x, grid.y() + headerH + y), QColor(160, 200, 255));
    EXPECT_TRUE(accent);

    QDir().mkpath(KESTRUNE_BUILD_DIR "/screenshots");
    EXPECT_TRUE(img.save(KESTRUNE_BUILD_DIR "/screenshots/filelist.png"));
}

TEST(DrawMenuItem, SelectedGradientAndDisabledText) {
    QImage img(200, 22, QImage::Format_RGB32);
    img.fill(Qt::white);
    core::ResetSessionState();
    {
        QPainter p(&img);
        library::DrawMenuItem(p, QRect(0, 0, 200, 22), 3, true);
    }
    // Right of the text: the gradient alone.
    EXPECT_EQ(img.pixelColor(190, 1), QColor(245, 255, 240));
    EXPECT_EQ(img.pixelColor(190, 11), QColor(225, 235, 220)); // b = 10
    EXPECT_EQ(img.pixelColor(0, 0), QColor(130, 150, 135));    // the border
    img.fill(Qt::white);
    {
        QPainter p(&img);
        library::DrawMenuItem(p, QRect(0, 0, 200, 22), 0, false);
    }
    EXPECT_EQ(img.pixelColor(0, 10), QColor(255, 255, 255));
    EXPECT_EQ(img.pixelColor(20, 10), QColor(195, 195, 195)); // 255 - 3 * 20
    EXPECT_EQ(img.pixelColor(100, 10), QColor(235, 235, 230));
    EXPECT_EQ(img.pixelColor(100, 3), QColor(150, 150, 150)); // separator line
}

} // namespace
