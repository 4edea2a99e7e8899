#include <gtest/gtest.h>

#include <string>

#include "platform/capture_device.h"

namespace {

// Device names are cut to 31 characters; a cut inside a UTF-8 character
// would show a broken name.
TEST(DeviceName, CutsAtCharactersNotBytes) {
    struct Case {
        std::string in, out;
    } cases[] = {
        {"Built-in Audio", "Built-in Audio"},
        {std::string(40, 'a'), std::string(31, 'a')},
        // 30 ASCII letters, then two-byte characters: the 31st is kept whole.
        {std::string(30, 'm') + "éé", std::string(30, 'm') + "é"},
        {std::string(31, 'x') + "ü", std::string(31, 'x')},
        // Three-byte characters only.
        {[] {
             std::string s;
             for (int i = 0; i < 40; ++i)
                 s += "音";
             return s;
         }(),
         [] {
             std::string s;
             for (int i = 0; i < 31; ++i)
                 s += "音";
             return s;
         }()},
        {"", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(platform::CutCharacters(c.in, 31), c.out) << c.in;
}

} // namespace
