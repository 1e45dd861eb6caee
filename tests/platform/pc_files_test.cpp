#include "platform/pc_files.h"

#include <gtest/gtest.h>

namespace {

TEST(WorkFolder, WindowsSpellingsMapToOneLowerCaseFileInTheFolder) {
    const struct {
        const char* root;
        const char* windows;
        const char* expected;
    } cases[] = {
        {"/home/ann/zarnik", ".\\local.cache", "/home/ann/zarnik/local.cache"},
        {"/home/ann/zarnik/", "Local.cache", "/home/ann/zarnik/local.cache"},
        {"work", "NewConfig.Dat", "work/newconfig.dat"},
        {"", ".\\Mut.cache", "./mut.cache"},
        {"/w", ".\\store\\poiupdates.upd", "/w/store/poiupdates.upd"},
        {"/", ".\\HttpError.txt", "/httperror.txt"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(platform::WorkFolder(c.root).Path(c.windows), c.expected) << c.windows;
    }
}

}  // namespace
