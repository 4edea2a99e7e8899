#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QComboBox>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QTemporaryDir>
#include <cstring>
#include <fstream>
#include <string>

#include "core/settings.h"
#include "core/state.h"
#include "platform/drive_type.h"
#include "platform/prompt.h"
#include "tags/id3v1.h"
#include "tags/tags.h"

namespace {

QByteArray ReadAll(const std::string& path) {
    QFile f(QString::fromStdString(path));
    if (!f.open(QIODevice::ReadOnly)) return {};
    return f.readAll();
}

QByteArray Hash(const QByteArray& bytes) {
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256);
}

int64_t MTime(const std::string& path) {
    struct stat st {};
    stat(path.c_str(), &st);
    return st.st_mtime;
}

// A stand-in for MP3 audio: bytes that are no tag, of a given size.
void WriteAudio(const std::string& path, size_t size) {
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<char>((i * 131 + 7) & 0xFF);
    std::ofstream(path, std::ios::binary) << bytes;
}

tags::TagBytes Tail(const QByteArray& file) {
    tags::TagBytes b{};
    if (file.size() >= 128) std::memcpy(b.data(), file.constData() + file.size() - 128, 128);
    return b;
}

class TagEditorTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        core::ResetSessionState();
        core::Settings.FolderName = dir.path().toStdString();
        path = dir.filePath("take.mp3").toStdString();
        platform::SetPrompt(&prompt);
        // A stamp two days back, on an even second (the packing keeps 2 s steps).
        stamp = tags::TimeToDosStamp(time(nullptr) - 2 * 86400);
    }
    void TearDown() override {
        platform::SetPrompt(nullptr);
        platform::SetFsTypeProbe({});
    }
    // What the file list does on selecting an MP3: empty, disable, then show.
    void Select(const std::string& p) {
        core::Session.SelectedFile = p;
        for (QLineEdit* e :
             {form.EditTitle, form.EditAlbum, form.EditArtist, form.EditComment, form.EditYear})
            e->clear();
        form.DisableTags();
        form.CmbBoxGenre->clear();
        if (tags::UpperExtension(p) == ".MP3") {
            QByteArray bytes = ReadAll(p);
            block = Tail(bytes);
            form.EnableTags();
            form.ShowID3v1Tags();
        }
    }

    QTemporaryDir dir;
    std::string path;
    platform::ScriptedPrompt prompt;
    tags::TagBytes block{};
    int32_t stamp = 0;
    struct ClosedCount : tags::TagEditorPeers {
        int closed = 0;
        void TagEditorClosed() override { ++closed; }
    } peers;
    tags::TFormTag form{block, stamp, peers};
};

TEST(GenreNames, TableHasThePublishedSpellings) {
    ASSERT_EQ(tags::GenreNames.size(), 148u);
    struct Case {
        size_t index;
        const char* name;
    } cases[] = {{0, "Blues"},      {17, "Rock"},        {67, "Psychadelic"},
                 {79, "Hard Rock"}, {80, "Folk"},        {93, "Psychedelic Rock"},
                 {132, "BritPop"},  {134, "Polsk Punk"}, {143, "Salsa"},
                 {147, "Synthpop"}};
    for (const auto& c : cases)
        EXPECT_STREQ(tags::GenreNames[c.index], c.name) << c.index;
    EXPECT_EQ(tags::GenreByte("Synthpop"), 147);
    EXPECT_EQ(tags::GenreByte("rock"), 255) << "names match case-sensitively";
    EXPECT_EQ(tags::GenreByte(""), 255);
}

TEST(Id3v1Record, FieldsAreCutToTheirWidthsWithoutSplittingCharacters) {
    tags::Id3v1Fields f;
    f.Title = std::string(40, 'x');
    std::string umlauts;
    for (int i = 0; i < 20; ++i)
        umlauts += "\xC3\xA4"; // 20 x "ä", 40 bytes
    f.Artist = "a" + umlauts;  // a cut at 30 would split one
    f.Album = umlauts;
    f.Year = "99";
    f.Comment = "c";
    tags::TagBytes b = tags::BuildTag(f);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(b.data()), 3), "TAG");
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(b.data() + 93), 4), "99  ");
    tags::Id3v1Fields back = tags::ParseTag(b);
    EXPECT_EQ(back.Title, std::string(30, 'x'));
    EXPECT_EQ(back.Artist, "a" + umlauts.substr(0, 28));
    EXPECT_EQ(back.Album, umlauts.substr(0, 30));
    EXPECT_EQ(back.Year, "99  ") << "trailing blanks stay part of the text";
    EXPECT_EQ(back.Comment, "c");
    EXPECT_EQ(back.Genre, 255);
    EXPECT_EQ(b[33 + 29], 0) << "the byte after the shortened artist is zero";

    // Bytes written elsewhere in Latin-1 read as Latin-1, not as garbage.
    tags::TagBytes latin = b;
    latin[3] = 0xE9; // "é"
    latin[4] = 0;
    EXPECT_EQ(tags::ParseTag(latin).Title, "\xC3\xA9");
}

TEST_F(TagEditorTest, SaveAppendsToAFileWithoutTagAndKeepsAudioAndDate) {
    WriteAudio(path, 5000);
    QByteArray before = ReadAll(path);
    Select(path);
    EXPECT_TRUE(form.EditTitle->text().isEmpty());
    EXPECT_TRUE(form.EditTitle->isEnabled());
    EXPECT_EQ(form.LabTitle->palette().color(QPalette::WindowText), QColor(Qt::black));

    form.EditTitle->setText(QString(40, 'T'));
    form.EditArtist->setText("Artist name");
    form.EditAlbum->setText("Album name");
    form.EditComment->setText(QString(31, 'C'));
    form.EditYear->setText("20245");
    form.CmbBoxGenre->setCurrentText("Synthpop");
    EXPECT_TRUE(form.SaveEnabled());
    form.SaveTag();
    EXPECT_TRUE(prompt.messages.empty());

    QByteArray after = ReadAll(path);
    ASSERT_EQ(after.size(), before.size() + 128);
    EXPECT_EQ(Hash(after.left(before.size())), Hash(before)) << "audio bytes changed";
    EXPECT_EQ(MTime(path), tags::DosStampToTime(stamp));
    EXPECT_EQ(block, Tail(before)) << "TagBlock holds the bytes found before the write";

    // Read back through the editor, as selecting the file again does.
    Select(path);
    EXPECT_EQ(form.EditTitle->text(), QString(30, 'T'));
    EXPECT_EQ(form.EditArtist->text(), "Artist name");
    EXPECT_EQ(form.EditAlbum->text(), "Album name");
    EXPECT_EQ(form.EditComment->text(), QString(30, 'C'));
    EXPECT_EQ(form.EditYear->text(), "2024");
    EXPECT_EQ(form.CmbBoxGenre->currentText(), "Synthpop");
    EXPECT_EQ(static_cast<uint8_t>(after.back()), 147);

    // A second save replaces the tag in place.
    form.EditTitle->setText("Second");
    form.CmbBoxGenre->setCurrentIndex(-1);
    form.SaveTag();
    QByteArray again = ReadAll(path);
    ASSERT_EQ(again.size(), after.size());
    EXPECT_EQ(Hash(again.left(before.size())), Hash(before));
    EXPECT_EQ(tags::ParseTag(Tail(again)).Title, "Second");
    EXPECT_EQ(static_cast<uint8_t>(again.back()), 255) << "no genre chosen";
    EXPECT_EQ(MTime(path), tags::DosStampToTime(stamp));
}

TEST_F(TagEditorTest, ShowsTheStoredGenre) {
    struct Case {
        uint8_t byte;
        QString shown;
    } cases[] = {
        {17, "Rock"}, {147, "Synthpop"}, {133, tags::GenreNames[133]}, {255, ""}, {148, ""}};
    for (const auto& c : cases) {
        tags::Id3v1Fields f;
        f.Title = "t";
        f.Genre = c.byte;
        tags::TagBytes rec = tags::BuildTag(f);
        rec[127] = c.byte;
        WriteAudio(path, 2000);
        {
            std::ofstream out(path, std::ios::binary | std::ios::app);
            out.write(reinterpret_cast<const char*>(rec.data()), 128);
        }
        Select(path);
        EXPECT_EQ(form.CmbBoxGenre->currentText(), c.shown) << int(c.byte);
        EXPECT_EQ(form.CmbBoxGenre->count(), 148);
    }
}

TEST_F(TagEditorTest, GenreListIsSorted) {
    QStringList names;
    for (int i = 0; i < form.CmbBoxGenre->count(); ++i)
        names << form.CmbBoxGenre->itemText(i);
    ASSERT_EQ(names.size(), 148);
    // As a sorted list box keeps them: without regard to case.
    QStringList sorted = names;
    sorted.sort(Qt::CaseInsensitive);
    EXPECT_EQ(names, sorted);
    EXPECT_LT(names.indexOf("Alternative"), names.indexOf("AlternRock"));
}

TEST_F(TagEditorTest, RefusedSavesChangeNothing) {
    WriteAudio(path, 3000);
    Select(path);
    form.EditTitle->setText("x");

    // Read-only file: the open error, nothing written.
    chmod(path.c_str(), 0444);
    QByteArray before = ReadAll(path);
    int64_t mtime = MTime(path);
    form.SaveTag();
    ASSERT_EQ(prompt.messages.size(), 1u);
    EXPECT_EQ(prompt.messages[0].rfind("Cannot open file \"" + path + "\". ", 0), 0u)
        << prompt.messages[0];
    EXPECT_EQ(ReadAll(path), before);
    EXPECT_EQ(MTime(path), mtime);
    chmod(path.c_str(), 0644);

    // A file that vanished since it was selected.
    std::string gone = dir.filePath("gone.mp3").toStdString();
    core::Session.SelectedFile = gone;
    form.SaveTag();
    ASSERT_EQ(prompt.messages.size(), 2u);
    EXPECT_FALSE(QFile::exists(QString::fromStdString(gone)));

    // Output folder on an optical disc.
    core::Session.SelectedFile = path;
    platform::SetFsTypeProbe([](const std::string&) { return platform::kIso9660Magic; });
    form.SaveTag();
    ASSERT_EQ(prompt.messages.size(), 3u);
    EXPECT_EQ(prompt.messages[2], "Could not save to the CDROM drive");
    EXPECT_EQ(ReadAll(path), before);
    platform::SetFsTypeProbe({});

    // Not an MP3: no tag is written and nothing is said.
    std::string wav = dir.filePath("take.wav").toStdString();
    WriteAudio(wav, 3000);
    QByteArray wavBefore = ReadAll(wav);
    Select(wav);
    EXPECT_FALSE(form.EditTitle->isEnabled());
    EXPECT_FALSE(form.CmbBoxGenre->isEnabled());
    EXPECT_EQ(form.LabYear->palette().color(QPalette::WindowText), QColor(128, 128, 128));
    EXPECT_EQ(form.CmbBoxGenre->count(), 0);
    form.SaveTag();
    EXPECT_EQ(ReadAll(wav), wavBefore);
    EXPECT_EQ(prompt.messages.size(), 3u);
}

TEST_F(TagEditorTest, ShortFileGetsATagAppended) {
    // Under 128 bytes there can be no tag even if the bytes start with "TAG".
    std::ofstream(path, std::ios::binary) << "TAGxx";
    Select(path);
    form.EditTitle->setText("short");
    form.SaveTag();
    QByteArray after = ReadAll(path);
    ASSERT_EQ(after.size(), 5 + 128);
    EXPECT_EQ(after.left(5), "TAGxx");
    EXPECT_EQ(tags::ParseTag(Tail(after)).Title, "short");
}

TEST_F(TagEditorTest, Screenshot) {
    WriteAudio(path, 3000);
    Select(path);
    form.EditTitle->setText("Morning birds");
    form.EditArtist->setText("Field recording");
    form.EditAlbum->setText("Garden");
    form.EditComment->setText("Recorded at dawn");
    form.EditYear->setText("2026");
    form.CmbBoxGenre->setCurrentText("Ambient");
    form.show();
    QDir().mkpath(KESTRUNE_BUILD_DIR "/screenshots");
    EXPECT_TRUE(form.grab().save(KESTRUNE_BUILD_DIR "/screenshots/tag_editor.png"));
}

} // namespace
