#include "log/LogLines.h"

#include <cstdint>
#include <cstring>

namespace {

// The first CR or LF in [p, end), or end. Logs run to tens of megabytes, so runs of text are
// skipped eight bytes at a time: a word is passed over when none of its bytes is CR or LF.
const char* FindLineEnd(const char* p, const char* end) {
    constexpr std::uint64_t ones = 0x0101010101010101ull;
    constexpr std::uint64_t highs = 0x8080808080808080ull;
    while (end - p >= 8) {
        std::uint64_t w;
        std::memcpy(&w, p, 8);
        const std::uint64_t cr = w ^ (ones * '\r');
        const std::uint64_t lf = w ^ (ones * '\n');
        if ((((cr - ones) & ~cr) | ((lf - ones) & ~lf)) & highs) break;  // some byte is CR or LF
        p += 8;
    }
    while (p != end && *p != '\r' && *p != '\n') ++p;
    return p;
}

const char kLineEnd[] = "\r\n";

}  // namespace

void LogRewrite::Feed(std::string_view piece, std::string& out) {
    const char* p = piece.data();
    const char* const end = p + piece.size();
    if (p == end) return;
    if (afterCr_ && *p == '\n') ++p;
    afterCr_ = false;
    while (p != end) {
        const char* e = FindLineEnd(p, end);
        out.append(p, e - p);
        if (e == end) {
            openLine_ = true;
            return;
        }
        out += kLineEnd;
        openLine_ = false;
        if (*e == '\n') {
            p = e + 1;
        } else if (e + 1 == end) {
            afterCr_ = true;
            return;
        } else {
            p = e + (e[1] == '\n' ? 2 : 1);
        }
    }
}

void LogRewrite::Finish(std::string_view line, std::string& out) {
    if (openLine_) out += kLineEnd;
    out.append(line);
    out += kLineEnd;
    openLine_ = false;
}

bool WrittenFormCheck::Feed(std::string_view piece) {
    if (!ok_ || piece.empty()) return ok_;
    const char* p = piece.data();
    const char* const end = p + piece.size();
    if (last_ == '\r') {
        if (*p != '\n') return ok_ = false;
        ++p;
    }
    for (;;) {
        const char* e = FindLineEnd(p, end);
        if (e == end) break;
        if (*e == '\n') return ok_ = false;  // an LF that does not follow a CR
        if (e + 1 == end) break;             // a CR at the end: the next piece decides
        if (e[1] != '\n') return ok_ = false;
        p = e + 2;
    }
    last_ = piece.back();
    return true;
}
