// The rule that tells a log or log folder reached through a link from the one named: the final
// path of what was opened against its folder's final path and its own name.
#include "log/FinalPath.h"
#include "text_fakes.h"

#include <gtest/gtest.h>

namespace {

struct Case {
    const char* final;
    const char* parentFinal;
    const char* name;
    bool child;
};

const Case kCases[] = {
    {"\\\\?\\C:\\Prog\\Log", "\\\\?\\C:\\Prog", "Log", true},
    {"\\\\?\\C:\\Prog\\log", "\\\\?\\c:\\PROG", "LOG", true},
    {"\\\\?\\C:\\Log", "\\\\?\\C:\\", "Log", true},      // the parent a root
    {"C:/Prog/Log/", "\\\\?\\C:\\Prog\\", "Log", true},  // separators, prefix on one side
    {"\\\\?\\UNC\\srv\\share\\Log", "\\\\srv\\share", "Log", true},
    {"\\\\?\\UNC\\srv\\share\\Log", "\\\\?\\C:\\share", "Log", false},
    {"\\\\?\\C:\\Other\\secret.txt", "\\\\?\\C:\\Prog\\Log", "2.1.27.log", false},  // a link to a file
    {"\\\\?\\D:\\Elsewhere", "\\\\?\\C:\\Prog", "Log", false},                      // a link to a folder
    {"\\\\?\\C:\\Prog\\x\\Log", "\\\\?\\C:\\Prog", "Log", false},
    {"\\\\?\\C:\\Prog\\Logs", "\\\\?\\C:\\Prog", "Log", false},
    {"\\\\?\\C:\\Prog\\x\\Log", "\\\\?\\C:\\Prog", "x\\Log", false},  // a name is one component
    {"\\\\?\\C:\\Prog", "\\\\?\\C:\\Prog", "", false},
    {"\\\\?\\C:\\Prog\\..", "\\\\?\\C:\\Prog", "..", false},
    {"\\\\?\\C:\\Prog", "", "Prog", false},
    // Code page 932: a trail byte 0x5C is no separator, and the case of a trail byte counts.
    {"C:\\\x95\\\\Log", "C:\\\x95\\", "Log", true},
    {"C:\\\x82\x61\\Log", "C:\\\x82\x41", "Log", false},
};

TEST(LogFinalPath, ChildOfItsFolderUnderItsName) {
    for (const Case& c : kCases)
        EXPECT_EQ(IsFinalPathOfChild(c.final, c.parentFinal, c.name, ShiftJisLead, AsciiLowerCase), c.child)
            << c.final << " | " << c.parentFinal << " | " << c.name;
}

}  // namespace
