// The file list through the real program: selecting, playing (heard on the
// quiet sink), the popup menu's file operations and the tag editor.
#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>

#include "e2e/e2e_harness.h"
#include "test_decode.h"

namespace {

using namespace e2e;

// File list window coordinates.
constexpr int kRowX = 90;
QPoint Row(int row) { // 1 = first recording
    return {kRowX, 44 + (row - 1) * 17};
}
const QPoint kTagButton{377, 281};

// Player window coordinates.
const QPoint kPlayerPause{71, 237}, kPlayerStop{105, 237}, kPlayerClose{298, 238};
constexpr int kHandleY = 191, kPosLeft = 24, kPosSteps = 158;

// Tag editor window coordinates.
const QPoint kTitleField{200, 39}, kSaveButton{225, 278};

// The popup menu's commands, as the arrow keys reach them (a WAV that can
// be converted shows one item more).
enum class Cmd { Play, Stop, Rename, Convert, Move, Delete };

constexpr double kLoud = 0.05, kQuiet = 0.004;

class FileListE2E : public E2E {
  protected:
    Profile p;
    std::unique_ptr<Recorder> r;
    QString main, list;

    // Starts the program with the file list shown, sorted by name.
    void Start() {
        p.Set("IsFileList", 1);
        p.Set("Sort", 1);
        r = std::make_unique<Recorder>(p);
        main = r->MainWindow();
        ASSERT_FALSE(main.isEmpty()) << "no recorder window: " << r->State().toStdString();
        list = r->FileList();
        ASSERT_FALSE(list.isEmpty()) << "the file list is not shown";
        Pause(500);
    }
    void TearDown() override {
        if (r) {
            EXPECT_TRUE(r->Running()) << "the program ended: " << r->State().toStdString();
        }
    }
    void Select(int row) {
        const QPoint at = Row(row);
        Click(list, at.x(), at.y());
        Pause(300);
    }
    void DoubleClickRow(int row) {
        const QPoint at = Row(row);
        DoubleClick(list, at.x(), at.y());
    }
    // Opens the popup menu on a row and chooses a command with the keys.
    void Menu(int row, Cmd cmd, bool convertShown) {
        const QPoint at = Row(row);
        Click(list, at.x(), at.y(), 3);
        Pause(300);
        int downs = static_cast<int>(cmd) + 1;
        if (!convertShown && cmd > Cmd::Convert) --downs;
        for (int i = 0; i < downs; ++i)
            Key("Down");
        Key("Return");
    }
    // A window of the program that is none of its own skinned windows.
    QString Box(int ms = 5000) {
        QString found;
        WaitFor(
            [&] {
                for (const QString& id : r->Windows()) {
                    const QSize s = Recorder::Size(id);
                    if (s != QSize(400, 300) && s != QSize(399, 299) && s != QSize(249, 299) &&
                        s != QSize(332, 269) && s.width() > 50) {
                        found = id;
                        return true;
                    }
                }
                return false;
            },
            ms, 150);
        return found;
    }
};

// Plays, pauses, resumes, seeks into the second half and stops; each step
// heard on the sink.
TEST_F(FileListE2E, DoubleClickPlaysPauseSeekAndStop) {
    WriteToneWav(p.File("a.wav"), {440, 880}, 5.0);
    Start();
    Select(1);
    DoubleClickRow(1);
    const QString player = r->Player();
    ASSERT_FALSE(player.isEmpty()) << "no player window: " << r->State().toStdString();
    EXPECT_GT(AwaitTone(440, true), kLoud) << "the first half does not sound";
    Shot(player, "player-playing");

    Click(player, kPlayerPause.x(), kPlayerPause.y());
    EXPECT_LT(AwaitTone(440, false), kQuiet) << "Pause did not silence the playback";
    Click(player, kPlayerPause.x(), kPlayerPause.y());
    EXPECT_GT(AwaitTone(440, true), kLoud) << "Pause again did not resume";

    // Three quarters of the length: the 880 Hz half.
    Drag(player, kPosLeft + 5, kHandleY, kPosLeft + 5 + kPosSteps * 3 / 4, kHandleY);
    EXPECT_GT(AwaitTone(880, true), kLoud) << "the seek did not reach the second half";
    EXPECT_LT(AwaitTone(440, false), kQuiet);

    Click(player, kPlayerStop.x(), kPlayerStop.y());
    EXPECT_LT(AwaitTone(880, false), kQuiet) << "Stop did not silence the playback";

    Click(player, kPlayerClose.x(), kPlayerClose.y());
    EXPECT_TRUE(WaitFor([&] { return r->Player(0).isEmpty(); }, 3000)) << "player still shown";
}

TEST_F(FileListE2E, SelectingAnotherRowStopsThePlayback) {
    WriteToneWav(p.File("a.wav"), {440}, 10.0);
    WriteToneWav(p.File("b.wav"), {880}, 10.0);
    Start();
    Select(1);
    DoubleClickRow(1);
    ASSERT_FALSE(r->Player().isEmpty());
    ASSERT_GT(AwaitTone(440, true), kLoud) << "a.wav does not sound";
    Select(2);
    EXPECT_LT(AwaitTone(440, false), kQuiet) << "a.wav still plays after b.wav was selected";
}

TEST_F(FileListE2E, PlayingAnMp3KeepsTheProgramRunning) {
    ASSERT_TRUE(WriteToneMp3(p.File("b.mp3"), 660, 6.0));
    for (int i = 0; i < 3; ++i) {
        Start();
        Select(1);
        DoubleClickRow(1);
        const QString player = r->Player();
        ASSERT_FALSE(player.isEmpty()) << "try " << i << ": " << r->State().toStdString();
        Pause(1200);
        Focus(player);
        Key("Return"); // plays it again from the start
        EXPECT_GT(AwaitTone(660, true), kLoud) << "try " << i;
        ASSERT_TRUE(r->Running()) << "try " << i << ": " << r->State().toStdString();
        r.reset();
    }
}

// Delete asks first: No keeps the file, Yes removes it from disk and list.
TEST_F(FileListE2E, DeleteAsksAndRemovesTheFile) {
    WriteToneWav(p.File("a.wav"), {440}, 1.0);
    WriteToneWav(p.File("b.wav"), {880}, 1.0);
    Start();
    Select(1);
    Menu(1, Cmd::Delete, true);
    QString box = Box();
    ASSERT_FALSE(box.isEmpty()) << "no question before deleting";
    Shot(box, "delete-question");
    Focus(box);
    Key("Escape");
    ASSERT_TRUE(WaitFor([&] { return Box(0).isEmpty(); }, 3000));
    EXPECT_TRUE(QFileInfo::exists(p.File("a.wav"))) << "No deleted the file";

    Menu(1, Cmd::Delete, true);
    box = Box();
    ASSERT_FALSE(box.isEmpty());
    Focus(box);
    Key("alt+y");
    EXPECT_TRUE(WaitFor([&] { return !QFileInfo::exists(p.File("a.wav")); }, 3000))
        << "Yes did not delete a.wav";
    EXPECT_TRUE(QFileInfo::exists(p.File("b.wav")));
    Shot(list, "filelist-after-delete");
}

TEST_F(FileListE2E, DeleteQuestionIsTitledDeleteFiles) {
    WriteToneWav(p.File("a.wav"), {440}, 1.0);
    Start();
    // Away from the screen's centre, where a box without an owner opens.
    Drag(main, 150, 12, -150, -138);
    Select(1);
    Menu(1, Cmd::Delete, true);
    const QString box = Box();
    ASSERT_FALSE(box.isEmpty());
    EXPECT_EQ(WindowName(box).toStdString(), "Delete File(s)");
    EXPECT_TRUE(WindowRect(main).contains(WindowRect(box).center()))
        << "the question is not over the recorder";
    Focus(box);
    Key("Escape");
}

TEST_F(FileListE2E, AfterADeleteTheRowThatMovedUpPlays) {
    WriteToneWav(p.File("a.wav"), {440}, 1.0);
    WriteToneWav(p.File("b.wav"), {880}, 8.0);
    Start();
    Select(1);
    Menu(1, Cmd::Delete, true);
    const QString box = Box();
    ASSERT_FALSE(box.isEmpty());
    Focus(box);
    Key("alt+y");
    ASSERT_TRUE(WaitFor([&] { return !QFileInfo::exists(p.File("a.wav")); }, 3000));
    Pause(300);
    DoubleClickRow(1); // b.wav, moved up
    Pause(500);
    const QString message = Box(1000);
    if (!message.isEmpty()) Shot(message, "play-after-delete-message");
    EXPECT_TRUE(message.isEmpty())
        << "a message instead of playing: " << WindowName(message).toStdString();
    EXPECT_GT(AwaitTone(880, true), kLoud) << "b.wav does not sound";
}

TEST_F(FileListE2E, RenameRenamesTheFileOnDisk) {
    WriteToneWav(p.File("a.wav"), {440}, 1.0);
    Start();
    Select(1);
    Menu(1, Cmd::Rename, true);
    const QString box = Box();
    ASSERT_FALSE(box.isEmpty()) << "no rename box";
    EXPECT_EQ(WindowName(box).toStdString(), "Rename File");
    Focus(box);
    Key("ctrl+a");
    Type("take2");
    Key("Return");
    EXPECT_TRUE(WaitFor([&] { return QFileInfo::exists(p.File("take2.wav")); }, 3000));
    EXPECT_FALSE(QFileInfo::exists(p.File("a.wav")));
    Shot(list, "filelist-after-rename");
}

TEST_F(FileListE2E, MoveMovesTheFileToTheChosenFolder) {
    WriteToneWav(p.File("a.wav"), {440}, 1.0);
    const QString target = p.dir.filePath("elsewhere");
    QDir().mkpath(target);
    Start();
    Select(1);
    Menu(1, Cmd::Move, true);
    const QString box = Box();
    ASSERT_FALSE(box.isEmpty()) << "no folder browser";
    Shot(box, "move-folder-browser");
    Focus(box);
    Key("ctrl+a");
    Type(target);
    Key("Return");
    EXPECT_TRUE(WaitFor([&] { return QFileInfo::exists(target + "/a.wav"); }, 5000))
        << "a.wav not in the chosen folder";
    EXPECT_FALSE(QFileInfo::exists(p.File("a.wav")));
}

TEST_F(FileListE2E, ConvertWritesAnMp3BesideTheWav) {
    WriteToneWav(p.File("a.wav"), {440}, 3.0);
    Start();
    Select(1);
    Menu(1, Cmd::Convert, true);
    const QString mp3 = p.File("a(1).mp3");
    ASSERT_TRUE(WaitFor([&] { return QFileInfo::exists(mp3); }, 5000)) << "no a(1).mp3";
    ASSERT_TRUE(WaitSettled(mp3));
    const auto d = testdecode::DecodeFile(mp3.toStdString());
    ASSERT_TRUE(d.ok) << d.error;
    EXPECT_EQ(d.codec, "mp3float");
    EXPECT_NEAR(d.seconds(), 3.0, 0.15);
    EXPECT_TRUE(QFileInfo::exists(p.File("a.wav"))) << "the WAV went away";
    Pause(500);
    Shot(list, "filelist-after-convert");
}

TEST_F(FileListE2E, ConversionWindowIsCentredOnTheRecorder) {
    WriteToneWav(p.File("a.wav"), {440}, 120.0);
    Start();
    Select(1);
    Menu(1, Cmd::Convert, true);
    const QString conv = r->WindowTitled("Converting WAV to MP3", 5000);
    ASSERT_FALSE(conv.isEmpty()) << "no conversion window";
    const QRect cr = WindowRect(conv), mr = WindowRect(main);
    Shot(conv, "converting");
    EXPECT_LE((cr.center() - mr.center()).manhattanLength(), 2)
        << "centred at " << cr.center().x() << "," << cr.center().y() << ", the recorder at "
        << mr.center().x() << "," << mr.center().y();
    WaitFor([&] { return r->WindowTitled("Converting WAV to MP3", 0).isEmpty(); }, 30000);
}

// An MP3 without a tag: the typed title is appended as a new tag.
TEST_F(FileListE2E, TagEditorSavesATitleIntoAnUntaggedMp3) {
    ASSERT_TRUE(WriteToneMp3(p.File("c.mp3"), 440, 1.0));
    const qint64 before = QFileInfo(p.File("c.mp3")).size();
    Start();
    Select(1);
    Click(list, kTagButton.x(), kTagButton.y());
    const QString tag = r->TagEditor();
    ASSERT_FALSE(tag.isEmpty()) << "no tag editor";
    const QRect lr = WindowRect(list), tr = WindowRect(tag);
    EXPECT_EQ(tr.topLeft(), QPoint(lr.x() + lr.width(), lr.y())) << "not docked to the list";
    Click(tag, kTitleField.x(), kTitleField.y());
    Type("Gamma");
    Click(tag, kSaveButton.x(), kSaveButton.y());
    EXPECT_TRUE(WaitFor([&] { return Id3Title(p.File("c.mp3")) == "Gamma"; }, 3000))
        << Id3Title(p.File("c.mp3")).toStdString();
    EXPECT_EQ(QFileInfo(p.File("c.mp3")).size(), before + 128);
    Shot(tag, "tag-editor-saved");
}

TEST_F(FileListE2E, TagEditorShowsTheTagAndSavesOnTopOfIt) {
    ASSERT_TRUE(WriteToneMp3(p.File("a.mp3"), 440, 1.0, "Alpha"));
    const qint64 before = QFileInfo(p.File("a.mp3")).size();
    Start();
    Select(1);
    Click(list, kTagButton.x(), kTagButton.y());
    const QString tag = r->TagEditor();
    ASSERT_FALSE(tag.isEmpty());
    Shot(tag, "tag-editor-tagged-mp3");
    Click(tag, kTitleField.x(), kTitleField.y());
    Key("End");
    Type("X");
    Click(tag, kSaveButton.x(), kSaveButton.y());
    EXPECT_TRUE(WaitFor([&] { return Id3Title(p.File("a.mp3")) == "AlphaX"; }, 3000))
        << "title: " << Id3Title(p.File("a.mp3")).toStdString();
    EXPECT_EQ(QFileInfo(p.File("a.mp3")).size(), before) << "the tag was not replaced in place";
}

TEST_F(FileListE2E, ASecondMp3NeverReceivesTheFirstOnesTag) {
    ASSERT_TRUE(WriteToneMp3(p.File("a.mp3"), 440, 1.0, "Alpha"));
    ASSERT_TRUE(WriteToneMp3(p.File("b.mp3"), 880, 1.0));
    Start();
    Select(1);
    Click(list, kTagButton.x(), kTagButton.y());
    const QString tag = r->TagEditor();
    ASSERT_FALSE(tag.isEmpty());
    Click(tag, kTitleField.x(), kTitleField.y());
    Key("End");
    Type("X");
    Click(tag, kSaveButton.x(), kSaveButton.y());
    Pause(500);
    Select(2);
    Click(tag, kTitleField.x(), kTitleField.y());
    Key("End");
    Type("Y");
    Click(tag, kSaveButton.x(), kSaveButton.y());
    Pause(800);
    EXPECT_EQ(Id3Title(p.File("b.mp3")).toStdString(), "Y");
}

} // namespace
