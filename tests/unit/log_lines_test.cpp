// The log's line model: what an existing log becomes when a line is added, and when the
// line may simply be appended.
#include "log/LineScan.h"
#include "log/LogLines.h"
#include "log/SecFunc.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using namespace std::string_literals;

// Feeds the pieces in order and ends with line.
std::string Rewritten(std::initializer_list<std::string> pieces, const std::string& line) {
    LogRewrite rewrite;
    std::string out;
    for (const std::string& piece : pieces) {
        std::string buf(LogRewrite::MaxOut(piece.size()), '?');
        buf.resize(rewrite.Feed(piece, &buf[0]));
        out += buf;
    }
    return out + rewrite.Finish(line);
}

std::string Rewritten(const std::string& content, const std::string& line) { return Rewritten({content}, line); }

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
            const std::string a = c.content.substr(0, cut), b = c.content.substr(cut, cut2 - cut),
                              z = c.content.substr(cut2);
            WrittenFormCheck check;
            for (const std::string* piece : {&a, &b, &z}) check.Feed(*piece);
            EXPECT_EQ(Rewritten({a, b, z}, "new"), c.after) << "cut at " << cut << " and " << cut2;
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

// A line end of either kind at every place of a long line, with or without text after it.
TEST(LineScan, RewriteFindsTheLineEndAtEveryPlace) {
    for (std::size_t n = 1; n <= 70; ++n) {
        for (std::size_t at = 0; at < n; ++at) {
            for (char end : {'\r', '\n'}) {
                std::string s(n, 'x');
                s[at] = end;
                std::string after = std::string(at, 'x') + "\r\n";
                if (at + 1 < n) after += std::string(n - at - 1, 'x') + "\r\n";
                EXPECT_EQ(Rewritten(s, "new"), after + "new\r\n") << "n " << n << " at " << at;
            }
        }
    }
}

// The written-form scan in both its versions, against the rule byte by byte: content in the
// written form, then with each byte in turn made a CR, an LF or a letter, at lengths that put
// the change at every place of a vector, and at its ends.
TEST(LineScan, BothVersionsFollowTheRuleAtEveryPosition) {
    auto rule = [](const std::string& s) {
        for (std::size_t i = 1; i < s.size(); ++i)
            if ((s[i] == '\n') != (s[i - 1] == '\r')) return false;
        return true;
    };
    std::string base;
    while (base.size() < 100) base += "ab\r\n";
    for (std::size_t n = 0; n <= base.size(); ++n) {
        for (std::size_t at = 0; at < n; ++at) {
            for (char c : {'\r', '\n', 'x'}) {
                std::string s = base.substr(0, n);
                s[at] = c;
                const bool expected = rule(s);
                EXPECT_EQ(LfFollowsCrPlain(s.data(), s.size()), expected) << "n " << n << " at " << at;
                if (HaveVectorScan()) {
                    EXPECT_EQ(LfFollowsCrVector(s.data(), s.size()), expected) << "n " << n << " at " << at;
                }
            }
        }
    }
}

// The rewrite's file: beside the log, never a longer name, never the log's own.
TEST(RewriteFileName, LastCharacterReplacedInTheSameFolder) {
    const LeadByteTest lead = [](unsigned char c) { return c == 0x83; };
    const std::string folder = "C:\\Prog\\Log\\";
    const struct {
        std::string log, rewrite;
    } cases[] = {
        {folder + "2.1.27.log", folder + "2.1.27.lo~"},
        {folder + "2.1.27.lo~", folder + "2.1.27.lo_"},
        {folder + "x\x83\x5C", folder + "x~"},  // a double-byte last character, its second byte a backslash
        {std::string(255, 'a') + "\\b.log", std::string(255, 'a') + "\\b.lo~"},
    };
    for (const auto& c : cases) EXPECT_EQ(RewriteFileName(c.log, lead), c.rewrite) << c.log;
}

}  // namespace
