#include "platform/process.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QTemporaryDir>
#include <fstream>
#include <sstream>

using platform::SplitCommandLine;

namespace {

std::string ReadAll(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::stringstream ss;
    ss << f.rdbuf();
    return ss.str();
}

} // namespace

TEST(SplitCommandLine, Table) {
    struct Case {
        std::string line;
        std::vector<std::string> args;
    };
    const Case cases[] = {
        {"lame -b 128 -m s - \"/music/record001.mp3\"",
         {"lame", "-b", "128", "-m", "s", "-", "/music/record001.mp3"}},
        {"flac -s  -5 --channels=2", {"flac", "-s", "-5", "--channels=2"}}, // doubled blank
        {"  a\t b  ", {"a", "b"}},
        {"x \"a b\" y", {"x", "a b", "y"}},
        {"x \"\" y", {"x", "", "y"}},                // an empty quoted argument stays
        {"x ab\"c d\"e", {"x", "abc de"}},           // quotes inside a word group only
        {"x \"a \\\"q\\\" b\"", {"x", "a \"q\" b"}}, // escaped quotes
        {"x a\\b\\c", {"x", "a\\b\\c"}},             // lone backslashes are literal
        {"x \"a\\\\\" y", {"x", "a\\", "y"}},        // 2n backslashes + quote
        {"x \"a\\\\\\\"b\"", {"x", "a\\\"b"}},       // 2n+1 backslashes + quote
        {"x \"$(rm -rf ~) `id` ;|&\"", {"x", "$(rm -rf ~) `id` ;|&"}}, // no shell meaning
        {"x \"unterminated arg", {"x", "unterminated arg"}},
        {"", {}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(SplitCommandLine(c.line), c.args) << c.line;
}

TEST(SplitCommandLine, QuoteArgumentRoundTrips) {
    const std::string samples[] = {"plain",       "with space", "dq\"in\"side",  "\"",
                                   "trail\\",     "trail\\\\",  "a\\\"b",        "",
                                   "-lead dash",  "$(echo hi)", "Müller ĳ 東京", "tab\there",
                                   "\\\\server\\"};
    for (const auto& s : samples) {
        auto args = SplitCommandLine("prog " + platform::QuoteArgument(s) + " -");
        ASSERT_EQ(args.size(), 3u) << s;
        EXPECT_EQ(args[1], s);
        EXPECT_EQ(args[2], "-");
    }
    EXPECT_EQ(platform::QuoteArgument("/music/record001.mp3"), "\"/music/record001.mp3\"");
}

TEST(FindExecutable, SearchesPathAndTakesPathsAsGiven) {
    QTemporaryDir dir;
    const std::string d = dir.path().toStdString();
    const std::string tool = d + "/mytool";
    std::ofstream(tool) << "#!/bin/true\n";
    chmod(tool.c_str(), 0755);
    const std::string plain = d + "/notexec";
    std::ofstream(plain) << "x";

    const std::string oldPath = getenv("PATH") ? getenv("PATH") : "";
    setenv("PATH", ("/nonexistent:" + d).c_str(), 1);
    EXPECT_EQ(platform::FindExecutable("mytool"), tool);
    EXPECT_EQ(platform::FindExecutable("notexec"), "");
    EXPECT_EQ(platform::FindExecutable("no-such-tool-here"), "");
    EXPECT_EQ(platform::FindExecutable(tool), tool);
    EXPECT_EQ(platform::FindExecutable(""), "");
    setenv("PATH", oldPath.c_str(), 1);
    EXPECT_FALSE(platform::ProgramFolder().empty());
}

struct SpawnTest : ::testing::Test {
    QTemporaryDir dir;
    std::string Path(const char* name) { return dir.path().toStdString() + "/" + name; }
    platform::ChildProcess child;
    bool Spawn(const std::vector<std::string>& args) {
        std::string err;
        bool ok =
            platform::SpawnWithStdinPipe(platform::FindExecutable(args[0]), args, child, &err);
        EXPECT_TRUE(ok) << err;
        return ok;
    }
    void TearDown() override {
        if (child.pid > 0) {
            kill(child.pid, SIGKILL);
            platform::FinishChild(child, 2000);
        }
    }
};

TEST_F(SpawnTest, StdinReachesTheChildByteForByte) {
    const std::string out = Path("a file with \"quotes\" and $(x)");
    ASSERT_TRUE(Spawn({"tee", out}));
    std::string data;
    for (int i = 0; i < 300000; ++i)
        data.push_back(static_cast<char>(i * 7));
    ASSERT_TRUE(platform::WriteToChild(child, data.data(), data.size()));
    EXPECT_TRUE(platform::FinishChild(child));
    EXPECT_EQ(ReadAll(out), data);
}

TEST_F(SpawnTest, ChildRunsInItsOwnSession) {
    ASSERT_TRUE(Spawn({"sleep", "10"}));
    EXPECT_EQ(getsid(child.pid), child.pid);
    EXPECT_NE(getsid(child.pid), getsid(0));
    EXPECT_TRUE(platform::ChildRunning(child));
}

TEST_F(SpawnTest, ChattyStderrNeverBlocksTheChild) {
    // tee copies its input to stderr; with nobody reading it a pipe would fill.
    ASSERT_TRUE(Spawn({"tee", "/dev/stderr"}));
    std::string data(4 << 20, 'x');
    ASSERT_TRUE(platform::WriteToChild(child, data.data(), data.size(), 5000));
    EXPECT_TRUE(platform::FinishChild(child, 5000));
}

TEST_F(SpawnTest, DeadChildMakesWritesFailWithoutSignal) {
    platform::IgnoreSigPipe();
    ASSERT_TRUE(Spawn({"true"}));
    for (int i = 0; i < 200 && platform::ChildRunning(child); ++i)
        usleep(10000);
    std::string data(100000, 'x');
    EXPECT_FALSE(platform::WriteToChild(child, data.data(), data.size(), 2000));
    EXPECT_TRUE(platform::FinishChild(child, 2000)); // `true` itself exited cleanly
}

TEST_F(SpawnTest, ChildThatStopsReadingTimesOut) {
    ASSERT_TRUE(Spawn({"sleep", "10"}));
    // The pipe absorbs a few seconds of audio while the child lags behind ...
    std::string data(512 << 10, 'x');
    EXPECT_TRUE(platform::WriteToChild(child, data.data(), data.size(), 300));
    // ... but a child that never reads makes the writer give up, not hang.
    data.assign(4 << 20, 'x');
    EXPECT_FALSE(platform::WriteToChild(child, data.data(), data.size(), 300));
    EXPECT_FALSE(platform::FinishChild(child, 200)); // killed after the wait
    EXPECT_EQ(child.pid, -1);
}

TEST_F(SpawnTest, MissingProgramIsReported) {
    std::string err;
    EXPECT_FALSE(platform::SpawnWithStdinPipe(Path("missing"), {"missing"}, child, &err));
    EXPECT_FALSE(err.empty());
}
