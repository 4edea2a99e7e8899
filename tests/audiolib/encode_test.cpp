// The external-encoder front end with stand-in encoders: shell scripts put
// first on PATH, so that the cases do not depend on what lame does.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QTemporaryDir>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "audiolib/encode.h"
#include "platform/process.h"

namespace {

class EncodeTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(tmp.isValid());
        dir = tmp.path().toStdString();
        oldPath = getenv("PATH") ? getenv("PATH") : "";
        setenv("PATH", (dir + ":" + oldPath).c_str(), 1);
        platform::IgnoreSigPipe();
        stream = audiolib::StreamCreate(44100, 2, 0, nullptr, nullptr);
        ASSERT_NE(stream, 0u);
    }
    void TearDown() override {
        audiolib::StreamFreeDummy(stream);
        setenv("PATH", oldPath.c_str(), 1);
    }
    void Script(const std::string& name, const std::string& body) {
        std::ofstream(dir + "/" + name) << "#!/bin/sh\n" << body << "\n";
        ASSERT_EQ(chmod((dir + "/" + name).c_str(), 0755), 0);
    }
    static std::string Read(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    // Waits (bounded) until no encoder of the stream runs any more.
    void WaitUntilEnded() {
        for (int i = 0; i < 1000 && audiolib::Encode_IsActive(stream); ++i)
            usleep(10000);
    }

    QTemporaryDir tmp;
    std::string dir, oldPath;
    audiolib::HSTREAM stream = 0;
    const std::vector<char> block = std::vector<char>(17640, 7);
};

// lame gets a WAV header with unknown sizes, then the PCM as written.
TEST_F(EncodeTest, RunningEncoderGetsTheHeaderAndEveryBlock) {
    Script("lame", "cat > \"$2\"");
    const std::string out = dir + "/out.raw";
    const auto h = audiolib::Encode_Start(stream, "lame - \"" + out + "\"", 0);
    ASSERT_NE(h, 0u) << audiolib::Encode_LastError();
    EXPECT_TRUE(audiolib::Encode_IsActive(h));
    for (int i = 0; i < 3; ++i)
        EXPECT_TRUE(audiolib::Encode_Write(stream, block.data(), block.size()));
    EXPECT_TRUE(audiolib::Encode_Stop(stream));
    const std::string got = Read(out);
    ASSERT_EQ(got.size(), 44 + 3 * block.size());
    EXPECT_EQ(got.substr(0, 4), "RIFF");
    EXPECT_EQ(got.substr(36, 4), "data");
    EXPECT_EQ(got.substr(44), std::string(3 * block.size(), 7));
}

// The start does not wait to see whether the encoder lives; one that quits
// afterwards, whatever its exit status, fails the next write and the stop.
TEST_F(EncodeTest, EncoderQuittingAfterItsStartFailsTheNextWrite) {
    for (const char* body : {"exit 1", "exit 0", "head -c 44 > /dev/null; exit 2"}) {
        SCOPED_TRACE(body);
        Script("lame", body);
        const auto h = audiolib::Encode_Start(stream, "lame - out.mp3", 0);
        if (h == 0) {
            // Already gone when the start looked or wrote the header.
            EXPECT_NE(audiolib::Encode_LastError().rfind("lame ", 0), std::string::npos);
            continue;
        }
        WaitUntilEnded();
        EXPECT_FALSE(audiolib::Encode_IsActive(h));
        EXPECT_FALSE(audiolib::Encode_Write(stream, block.data(), block.size()));
        EXPECT_FALSE(audiolib::Encode_Write(stream, block.data(), block.size()));
        EXPECT_FALSE(audiolib::Encode_Stop(stream));
    }
}

TEST_F(EncodeTest, MissingEncoderDoesNotStart) {
    EXPECT_EQ(audiolib::Encode_Start(stream, "no-such-encoder-here - out.mp3", 0), 0u);
    EXPECT_EQ(audiolib::Encode_LastError(), "no-such-encoder-here: not found");
    EXPECT_FALSE(audiolib::Encode_Write(stream, block.data(), block.size()));
}

} // namespace
