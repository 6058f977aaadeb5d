#include "log/LogLines.h"

#include "log/LineScan.h"

#include <cstring>

namespace {

// The first CR or LF in [p, end), or end.
const char* FindLineEnd(const char* p, const char* end) {
    while (p != end && *p != '\r' && *p != '\n') ++p;
    return p;
}

}  // namespace

std::size_t LogRewrite::Feed(std::string_view piece, char* out) {
    const char* p = piece.data();
    const char* const end = p + piece.size();
    char* w = out;
    if (p == end) return 0;
    if (afterCr_ && *p == '\n') ++p;
    afterCr_ = false;
    while (p != end) {
        const char* e = FindLineEnd(p, end);
        std::memcpy(w, p, e - p);
        w += e - p;
        if (e == end) {
            openLine_ = true;
            break;
        }
        *w++ = '\r';
        *w++ = '\n';
        openLine_ = false;
        if (*e == '\n') {
            p = e + 1;
        } else if (e + 1 == end) {
            afterCr_ = true;
            break;
        } else {
            p = e + (e[1] == '\n' ? 2 : 1);
        }
    }
    return static_cast<std::size_t>(w - out);
}

std::string LogRewrite::Finish(std::string_view line) {
    std::string tail = openLine_ ? "\r\n" : "";
    tail.append(line);
    tail += "\r\n";
    openLine_ = false;
    return tail;
}

bool WrittenFormCheck::Feed(std::string_view piece) {
    if (!ok_ || piece.empty()) return ok_;
    // In the written form a byte is an LF exactly when the byte before it is a CR.
    const char* p = piece.data();
    const std::size_t n = piece.size();
    const bool follows = ((p[0] == '\n') == (last_ == '\r')) && LfFollowsCr(p, n);
    if (!follows) return ok_ = false;
    last_ = p[n - 1];
    return true;
}
