#include "tags/id3v1.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QString>
#include <QStringDecoder>
#include <cstring>
#include <ctime>

namespace tags {

const std::array<const char*, kGenreCount> GenreNames = {
    "Blues",
    "Classic Rock",
    "Country",
    "Dance",
    "Disco",
    "Funk",
    "Grunge",
    "Hip-Hop",
    "Jazz",
    "Metal",
    "New Age",
    "Oldies",
    "Other",
    "Pop",
    "R&B",
    "Rap",
    "Reggae",
    "Rock",
    "Techno",
    "Industrial",
    "Alternative",
    "Ska",
    "Death Metal",
    "Pranks",
    "Soundtrack",
    "Euro-Techno",
    "Ambient",
    "Trip-Hop",
    "Vocal",
    "Jazz+Funk",
    "Fusion",
    "Trance",
    "Classical",
    "Instrumental",
    "Acid",
    "House",
    "Game",
    "Sound Clip",
    "Gospel",
    "Noise",
    "AlternRock",
    "Bass",
    "Soul",
    "Punk",
    "Space",
    "Meditative",
    "Instrumental Pop",
    "Instrumental Rock",
    "Ethnic",
    "Gothic",
    "Darkwave",
    "Techno-Industrial",
    "Electronic",
    "Pop-Folk",
    "Eurodance",
    "Dream",
    "Southern Rock",
    "Comedy",
    "Cult",
    "Gangsta",
    "Top 40",
    "Christian Rap",
    "Pop/Funk",
    "Jungle",
    "Native American",
    "Cabaret",
    "New Wave",
    "Psychadelic",
    "Rave",
    "Showtunes",
    "Trailer",
    "Lo-Fi",
    "Tribal",
    "Acid Punk",
    "Acid Jazz",
    "Polka",
    "Retro",
    "Musical",
    "Rock & Roll",
    "Hard Rock",
    "Folk",
    "Folk-Rock",
    "National Folk",
    "Swing",
    "Fast Fusion",
    "Bebob",
    "Latin",
    "Revival",
    "Celtic",
    "Bluegrass",
    "Avantgarde",
    "Gothic Rock",
    "Progressive Rock",
    "Psychedelic Rock",
    "Symphonic Rock",
    "Slow Rock",
    "Big Band",
    "Chorus",
    "Easy Listening",
    "Acoustic",
    "Humour",
    "Speech",
    "Chanson",
    "Opera",
    "Chamber Music",
    "Sonata",
    "Symphony",
    "Booty Bass",
    "Primus",
    "Porn Groove",
    "Satire",
    "Slow Jam",
    "Club",
    "Tango",
    "Samba",
    "Folklore",
    "Ballad",
    "Power Ballad",
    "Rhythmic Soul",
    "Freestyle",
    "Duet",
    "Punk Rock",
    "Drum Solo",
    "Acapella",
    "Euro-House",
    "Dance Hall",
    "Goa",
    "Drum & Bass",
    "Club-House",
    "Hardcore",
    "Terror",
    "Indie",
    "BritPop",
    "Negerpunk", // as the published extension list names index 133
    "Polsk Punk",
    "Beat",
    "Christian Gangsta Rap",
    "Heavy Metal",
    "Black Metal",
    "Crossover",
    "Contemporary Christian",
    "Christian Rock",
    "Merengue",
    "Salsa",
    "Trash Metal",
    "Anime",
    "Jpop",
    "Synthpop",
};

namespace {

constexpr size_t kTitle = 3, kArtist = 33, kAlbum = 63, kYear = 93, kComment = 97, kGenre = 127;
constexpr size_t kText = 30, kYearLen = 4;

std::string ReadField(const TagBytes& b, size_t at, size_t len) {
    size_t n = 0;
    while (n < len && b[at + n] != 0)
        ++n;
    QByteArray raw(reinterpret_cast<const char*>(b.data() + at), static_cast<qsizetype>(n));
    QStringDecoder utf8(QStringDecoder::Utf8, QStringConverter::Flag::Stateless);
    QString text = utf8.decode(raw);
    if (utf8.hasError()) text = QString::fromLatin1(raw);
    return text.toStdString();
}

// The longest prefix of `s` of at most `max` bytes that ends on a character
// boundary, so a cut never leaves half a UTF-8 sequence in the file.
size_t CutLength(const std::string& s, size_t max) {
    if (s.size() <= max) return s.size();
    size_t n = max;
    while (n > 0 && (static_cast<uint8_t>(s[n]) & 0xC0) == 0x80)
        --n;
    return n;
}

void PutField(TagBytes& b, size_t at, size_t len, const std::string& s) {
    size_t n = CutLength(s, len);
    std::memcpy(b.data() + at, s.data(), n);
}

} // namespace

bool HasTagMarker(const TagBytes& block) {
    return block[0] == 'T' && block[1] == 'A' && block[2] == 'G';
}

Id3v1Fields ParseTag(const TagBytes& b) {
    Id3v1Fields f;
    f.Title = ReadField(b, kTitle, kText);
    f.Artist = ReadField(b, kArtist, kText);
    f.Album = ReadField(b, kAlbum, kText);
    f.Year = ReadField(b, kYear, kYearLen);
    f.Comment = ReadField(b, kComment, kText);
    f.Genre = b[kGenre];
    return f;
}

uint8_t GenreByte(const std::string& name) {
    uint8_t g = 255;
    for (size_t i = 0; i < kGenreCount; ++i)
        if (name == GenreNames[i]) g = static_cast<uint8_t>(i);
    return g;
}

TagBytes BuildTag(const Id3v1Fields& f) {
    TagBytes b{};
    b[0] = 'T';
    b[1] = 'A';
    b[2] = 'G';
    std::memset(b.data() + kYear, ' ', kYearLen);
    PutField(b, kTitle, kText, f.Title);
    PutField(b, kArtist, kText, f.Artist);
    PutField(b, kAlbum, kText, f.Album);
    PutField(b, kYear, kYearLen, f.Year);
    PutField(b, kComment, kText, f.Comment);
    b[kGenre] = (f.Genre >= 0 && f.Genre < static_cast<int>(kGenreCount))
                    ? static_cast<uint8_t>(f.Genre)
                    : 255;
    return b;
}

int64_t DosStampToTime(int32_t stamp) {
    uint32_t u = static_cast<uint32_t>(stamp);
    uint32_t date = u >> 16, time = u & 0xFFFF;
    int day = date & 31, month = (date >> 5) & 15, year = static_cast<int>(date >> 9) + 1980;
    int sec = (time & 31) * 2, min = (time >> 5) & 63, hour = time >> 11;
    if (day < 1 || month < 1 || month > 12 || hour > 23 || min > 59 || sec > 59) return -1;
    std::tm tm{};
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_hour = hour;
    tm.tm_min = min;
    tm.tm_sec = sec;
    tm.tm_isdst = -1;
    time_t t = mktime(&tm);
    return t == static_cast<time_t>(-1) ? -1 : static_cast<int64_t>(t);
}

int32_t TimeToDosStamp(int64_t t) {
    time_t tt = static_cast<time_t>(t);
    std::tm tm{};
    localtime_r(&tt, &tm);
    uint32_t date = static_cast<uint32_t>(tm.tm_year + 1900 - 1980) * 512 +
                    static_cast<uint32_t>(tm.tm_mon + 1) * 32 + static_cast<uint32_t>(tm.tm_mday);
    uint32_t time = static_cast<uint32_t>(tm.tm_hour) * 2048 +
                    static_cast<uint32_t>(tm.tm_min) * 32 + static_cast<uint32_t>(tm.tm_sec / 2);
    return static_cast<int32_t>((date << 16) | time);
}

WriteResult WriteTagToFile(const std::string& path, const TagBytes& record, int32_t stamp,
                           TagBytes* lastBytes) {
    WriteResult r;
    auto fail = [&](int err) {
        r.error = "Cannot open file \"" + path + "\". " + std::strerror(err);
        return r;
    };
    // No O_TRUNC and no O_APPEND: only the tag's own 128 bytes are written.
    int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0) return fail(errno);
    struct stat st {};
    if (fstat(fd, &st) != 0) {
        int err = errno;
        ::close(fd);
        return fail(err);
    }
    if (!S_ISREG(st.st_mode)) {
        ::close(fd);
        return fail(EINVAL);
    }
    // A file marked read-only stays untouched even for a user whose rights
    // would let the open succeed (root).
    if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) {
        ::close(fd);
        return fail(EACCES);
    }
    TagBytes last{};
    off_t size = st.st_size;
    off_t tail = size >= static_cast<off_t>(kTagSize) ? size - static_cast<off_t>(kTagSize) : 0;
    ssize_t got = pread(fd, last.data(), static_cast<size_t>(size - tail), tail);
    if (got < 0) {
        int err = errno;
        ::close(fd);
        return fail(err);
    }
    if (lastBytes) *lastBytes = last;
    // A file shorter than a tag cannot hold one: its bytes are audio, so append.
    bool replace = size >= static_cast<off_t>(kTagSize) && HasTagMarker(last);
    off_t at = replace ? tail : size;
    size_t done = 0;
    while (done < kTagSize) {
        ssize_t w =
            pwrite(fd, record.data() + done, kTagSize - done, at + static_cast<off_t>(done));
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) {
            int err = w < 0 ? errno : EIO;
            // An append that failed half way leaves the audio as it was.
            if (!replace) (void)!ftruncate(fd, size);
            ::close(fd);
            r.error = "Could not write the tag to \"" + path + "\". " + std::strerror(err);
            return r;
        }
        done += static_cast<size_t>(w);
    }
    if (fsync(fd) != 0) {
        int err = errno;
        ::close(fd);
        r.error = "Could not write the tag to \"" + path + "\". " + std::strerror(err);
        return r;
    }
    int64_t when = DosStampToTime(stamp);
    struct timespec times[2];
    times[0].tv_sec = 0;
    times[0].tv_nsec = UTIME_OMIT;
    if (when >= 0) {
        times[1].tv_sec = static_cast<time_t>(when);
        times[1].tv_nsec = 0;
    } else {
        times[1] = st.st_mtim;
    }
    futimens(fd, times);
    ::close(fd);
    r.ok = true;
    return r;
}

} // namespace tags
