#pragma once
// The upgrade log's lines as bytes. The log is written as lines each followed by CR LF. An
// existing log, whoever wrote it, is read by this rule: a line ends at CR LF, at a CR alone or
// at an LF alone (LF CR is two ends, with an empty line between them); text after the last end
// is a line of its own; an empty content has no lines. Every other byte, NUL included, is line
// text and is kept as it is.
//
// Both classes take the existing content in pieces of any size, in order, so that a large log
// can be streamed through a small buffer; a line end split between two pieces is handled.
#include <cstddef>
#include <string>
#include <string_view>

// Turns existing content plus one new line into the content the log is rewritten with: every
// line of the old content, then the new line, each followed by CR LF.
class LogRewrite {
public:
    // The most bytes Feed writes for a piece of n bytes (every byte a line end).
    static constexpr std::size_t MaxOut(std::size_t n) { return 2 * n; }

    // Writes to out the written form of the next piece of the existing content and returns the
    // number of bytes written; out has room for MaxOut(piece.size()) bytes.
    std::size_t Feed(std::string_view piece, char* out);

    // The bytes that end the existing content and add the new line (which holds no CR or LF).
    std::string Finish(std::string_view line);

private:
    bool afterCr_ = false;   // the last piece ended in a CR whose line end is already written
    bool openLine_ = false;  // text was written since the last line end
};

// Tells whether existing content is already in the written form, so that the new line can be
// appended as it is: every CR is followed by an LF, every LF follows a CR, and the content is
// empty or ends in CR LF.
class WrittenFormCheck {
public:
    // Takes the next piece; false as soon as the content cannot be in the written form.
    bool Feed(std::string_view piece);
    // The verdict on all the pieces fed.
    bool Finish() const { return ok_ && last_ == '\n'; }

private:
    bool ok_ = true;
    char last_ = '\n';  // the last byte so far; an empty content counts as ended
};
