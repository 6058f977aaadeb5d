// The log's line model: what an existing log becomes when a line is added, and when the
// line may simply be appended.
#include "log/LogLines.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using namespace std::string_literals;

std::string Rewritten(const std::string& content, const std::string& line) {
    LogRewrite rewrite;
    std::string out;
    rewrite.Feed(content, out);
    rewrite.Finish(line, out);
    return out;
}

bool WrittenForm(const std::string& content) {
    WrittenFormCheck check;
    check.Feed(content);
    return check.Finish();
}

struct Case {
    const char* name;
    std::string content;  // the existing log
    std::string after;    // the log after adding the line "new"
    bool writtenForm;     // "new" can be appended as it is
};

const Case kCases[] = {
    {"EmptyFile", "", "new\r\n", true},
    {"CrLf", "a\r\nb\r\n", "a\r\nb\r\nnew\r\n", true},
    {"LfOnly", "a\nb\n", "a\r\nb\r\nnew\r\n", false},
    {"CrOnly", "a\rb\r", "a\r\nb\r\nnew\r\n", false},
    {"LfCrIsTwoEnds", "a\n\rb\r\n", "a\r\n\r\nb\r\nnew\r\n", false},
    {"CrCrLf", "a\r\r\n", "a\r\n\r\nnew\r\n", false},
    {"MixedEnds", "a\r\nb\nc\rd\r\n", "a\r\nb\r\nc\r\nd\r\nnew\r\n", false},
    {"LastLineWithoutEnd", "a\r\nb", "a\r\nb\r\nnew\r\n", false},
    {"OnlyTextNoEnd", "abc", "abc\r\nnew\r\n", false},
    {"EmptyLinesKept", "\r\n\r\na\r\n\r\n", "\r\n\r\na\r\n\r\nnew\r\n", true},
    {"LoneLf", "\n", "\r\nnew\r\n", false},
    {"LoneCr", "\r", "\r\nnew\r\n", false},
    {"LfAfterCrLf", "a\r\n\n", "a\r\n\r\nnew\r\n", false},
    {"NulInsideLines", "a\0b\r\n\0\r\n"s, "a\0b\r\n\0\r\nnew\r\n"s, true},
    {"NulAsTrailingText", "a\n\0\0"s, "a\r\n\0\0\r\nnew\r\n"s, false},
    {"OneSpaceLine", " \r\n", " \r\nnew\r\n", true},
    {"HighBytesKept", "\xe4\xf6\xfc\x83\x5c\r\n", "\xe4\xf6\xfc\x83\x5c\r\nnew\r\n", true},
    {"LongLineLf", std::string(100, 'x') + "\n", std::string(100, 'x') + "\r\nnew\r\n", false},
};

class LogLines : public testing::TestWithParam<Case> {};

TEST_P(LogLines, RewriteGivesEveryLineThenTheNewOneWithCrLf) {
    EXPECT_EQ(Rewritten(GetParam().content, "new"), GetParam().after);
}

TEST_P(LogLines, WrittenFormIsWhenAppendingGivesTheRewrite) {
    const Case& c = GetParam();
    EXPECT_EQ(WrittenForm(c.content), c.writtenForm);
    EXPECT_EQ(c.writtenForm, c.content + "new\r\n" == c.after);
}

// A large log is streamed in pieces; a CR LF split between two pieces is still one line end.
TEST_P(LogLines, SameResultWhateverThePieces) {
    const Case& c = GetParam();
    for (std::size_t cut = 0; cut <= c.content.size(); ++cut) {
        for (std::size_t cut2 = cut; cut2 <= c.content.size(); ++cut2) {
            LogRewrite rewrite;
            WrittenFormCheck check;
            std::string out;
            for (auto piece : {c.content.substr(0, cut), c.content.substr(cut, cut2 - cut),
                               c.content.substr(cut2)}) {
                rewrite.Feed(piece, out);
                check.Feed(piece);
            }
            rewrite.Finish("new", out);
            EXPECT_EQ(out, c.after) << "cut at " << cut << " and " << cut2;
            EXPECT_EQ(check.Finish(), c.writtenForm) << "cut at " << cut << " and " << cut2;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, LogLines, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<Case>& info) { return info.param.name; });

TEST(LogLinesNewLine, TheOneSpaceLineIsASpaceAndCrLf) {
    EXPECT_EQ(Rewritten("", " "), " \r\n");
    EXPECT_EQ(Rewritten("a", " "), "a\r\n \r\n");
}

// Line ends are found eight bytes at a time; each position within a word must be found.
TEST(LogLinesNewLine, LineEndsAtEveryPositionOfAWord) {
    for (std::size_t at = 0; at < 24; ++at) {
        for (char end : {'\r', '\n'}) {
            std::string content(24, 'x');
            content[at] = end;
            std::string expected = content.substr(0, at) + "\r\n";
            if (at + 1 < content.size()) expected += content.substr(at + 1) + "\r\n";
            EXPECT_EQ(Rewritten(content, "n"), expected + "n\r\n") << "end at " << at;
            EXPECT_FALSE(WrittenForm(content)) << "end at " << at;
        }
    }
}

}  // namespace
