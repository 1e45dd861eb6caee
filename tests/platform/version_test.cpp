// The version is set once, in the project; each peer gets the spelling it reads.
#include <gtest/gtest.h>

#include <string>

#include "platform/version.h"

namespace {

using namespace platform::version;

TEST(Version, EachSpellingIsDerivedAsItsPeerReadsIt) {
    const std::string major = std::to_string(kMajor), minor = std::to_string(kMinor), patch = std::to_string(kPatch);
    const struct {
        const char* spelt;
        std::string derived;
        const char* wire;  // what the peers read of 2.0.9; a new version changes these with the project's
    } cases[] = {
        {kFull, major + "." + minor + "." + patch, "2.0.9"},
        {kCheck, major + minor + patch, "209"},  // CheckVersion.php compares it as a whole number
        {kLogon, major + "." + minor, "2.0"},
        {kTag, "V" + major + "." + minor, "V2.0"},
        {kProduct, "Zarnik Tool V" + major + "." + minor + patch, "Zarnik Tool V2.09"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.spelt, c.derived);
        EXPECT_STREQ(c.spelt, c.wire);
    }
}

}  // namespace
