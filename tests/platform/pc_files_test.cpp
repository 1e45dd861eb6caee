#include "platform/pc_files.h"

#include <gtest/gtest.h>

namespace {

TEST(PcPath, WindowsSpellingsMapToOneLowerCaseFile) {
    const struct {
        const char* windows;
        const char* expected;
    } cases[] = {
        {".\\local.cache", "./local.cache"},
        {"Local.cache", "./local.cache"},
        {"NewConfig.Dat", "./newconfig.dat"},
        {".\\Mut.cache", "./mut.cache"},
        {".\\store\\poiupdates.upd", "./store/poiupdates.upd"},
        {".\\HttpError.txt", "./httperror.txt"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(platform::PcPath(c.windows), c.expected) << c.windows;
    }
}

}  // namespace
