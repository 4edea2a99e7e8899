#include "platform/sources.h"

#include <gtest/gtest.h>

#include "support/private_pulse.h"
#include "test_util.h"

namespace {

std::vector<std::string> Captions(const std::vector<platform::RecordingSource>& list) {
    std::vector<std::string> out;
    for (const auto& s : list)
        out.push_back(s.description + (s.isDefault ? " *" : ""));
    return out;
}

TEST(RecordingSources, DevicesFirstInServerOrderMonitorsLastDefaultMarked) {
    using platform::pulse::SourceInfo;
    auto src = [](uint32_t index, const char* name, const char* desc, bool monitor) {
        SourceInfo s;
        s.index = index;
        s.name = name;
        s.description = desc;
        s.monitor = monitor;
        return s;
    };
    // As the server lists them for capture: the default first.
    const std::vector<SourceInfo> listed = {
        src(4, "mon.b", "Monitor of B", true), src(3, "usb", "USB Mic", false),
        src(1, "mon.a", "Monitor of A", true), src(2, "card", "Built-in", false),
        src(5, "bare", "", false)};
    struct Case {
        const char* defaultName;
        std::vector<std::string> captions;
    } cases[] = {
        {"mon.b", {"Built-in", "USB Mic", "bare", "Monitor of A", "Monitor of B *"}},
        {"usb", {"Built-in", "USB Mic *", "bare", "Monitor of A", "Monitor of B"}},
        {"gone", {"Built-in", "USB Mic", "bare", "Monitor of A", "Monitor of B"}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Captions(platform::RecordingSources(listed, c.defaultName)), c.captions)
            << "default " << c.defaultName;
    EXPECT_TRUE(platform::RecordingSources({}, "x").empty());
}

TEST(RecordingSources, ChoosingOneMakesItTheServersDefault) {
    testutil::PrivatePulse pulse;
    START_PRIVATE_PULSE(pulse);
    ASSERT_TRUE(platform::pulse::Connect(3000));
    auto list = platform::RecordingSources();
    EXPECT_EQ(Captions(list),
              (std::vector<std::string>{"Monitor of Test_Sink *", "Monitor of Quiet_Sink"}));

    ASSERT_TRUE(platform::SetDefaultSource("quietsink.monitor"));
    EXPECT_EQ(platform::pulse::DefaultSourceName(), "quietsink.monitor");
    EXPECT_EQ(Captions(platform::RecordingSources()),
              (std::vector<std::string>{"Monitor of Test_Sink", "Monitor of Quiet_Sink *"}));

    // A source that vanished between listing and choosing is refused and
    // the default stays where it was.
    EXPECT_FALSE(platform::SetDefaultSource("nosuchsink.monitor"));
    EXPECT_FALSE(platform::SetDefaultSource(""));
    EXPECT_EQ(platform::pulse::DefaultSourceName(), "quietsink.monitor");
}

} // namespace
