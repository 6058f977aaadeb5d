#include "log/LineScan.h"

#include <cstdint>
#include <cstring>

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#define LOG_VECTOR_SCAN 1
#include <immintrin.h>
#endif

namespace {

constexpr std::uint64_t kOnes = 0x0101010101010101ull;
constexpr std::uint64_t kHighs = 0x8080808080808080ull;

std::uint64_t Load(const char* p) {
    std::uint64_t w;
    std::memcpy(&w, p, 8);
    return w;  // byte i of p in bits 8i..8i+7: every target of this build is little-endian
}

// The high bit of every byte of w that equals c, and no other bit.
std::uint64_t BytesEqual(std::uint64_t w, char c) {
    const std::uint64_t x = w ^ (kOnes * static_cast<unsigned char>(c));
    return ~(((x & ~kHighs) + ~kHighs) | x) & kHighs;
}

bool TailFollows(const char* p, std::size_t i, std::size_t n) {
    bool bad = false;
    for (; i < n; ++i) bad |= (p[i] == '\n') != (p[i - 1] == '\r');
    return !bad;
}

}  // namespace

const char* FindLineEnd(const char* p, const char* end) {
    static const bool vector = HaveVectorScan();
    return vector ? FindLineEndVector(p, end) : FindLineEndPortable(p, end);
}

const char* FindLineEndPortable(const char* p, const char* end) {
    while (end - p >= 8) {
        const std::uint64_t w = Load(p);
        const std::uint64_t ends = BytesEqual(w, '\r') | BytesEqual(w, '\n');
        if (ends) return p + __builtin_ctzll(ends) / 8;
        p += 8;
    }
    while (p != end && *p != '\r' && *p != '\n') ++p;
    return p;
}

bool LfFollowsCr(const char* p, std::size_t n) {
    static const bool vector = HaveVectorScan();
    return vector ? LfFollowsCrVector(p, n) : LfFollowsCrPortable(p, n);
}

// Each word is compared with the word one byte earlier, so the bytes are checked in step.
bool LfFollowsCrPortable(const char* p, std::size_t n) {
    std::uint64_t bad = 0;
    std::size_t i = 1;
    for (; i + 8 <= n; i += 8) bad |= BytesEqual(Load(p + i), '\n') ^ BytesEqual(Load(p + i - 1), '\r');
    return bad == 0 && TailFollows(p, i, n);
}

#ifdef LOG_VECTOR_SCAN

__attribute__((target("avx2"))) bool LfFollowsCrVector(const char* p, std::size_t n) {
    const __m256i cr = _mm256_set1_epi8('\r');
    const __m256i lf = _mm256_set1_epi8('\n');
    __m256i bad = _mm256_setzero_si256();
    std::size_t i = 1;
    for (; i + 32 <= n; i += 32) {
        const __m256i here = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + i));
        const __m256i before = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + i - 1));
        bad = _mm256_or_si256(bad, _mm256_xor_si256(_mm256_cmpeq_epi8(here, lf), _mm256_cmpeq_epi8(before, cr)));
    }
    return _mm256_testz_si256(bad, bad) && TailFollows(p, i, n);
}

__attribute__((target("avx2"))) const char* FindLineEndVector(const char* p, const char* end) {
    const __m256i cr = _mm256_set1_epi8('\r');
    const __m256i lf = _mm256_set1_epi8('\n');
    for (; end - p >= 32; p += 32) {
        const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
        const unsigned ends = static_cast<unsigned>(
            _mm256_movemask_epi8(_mm256_or_si256(_mm256_cmpeq_epi8(v, cr), _mm256_cmpeq_epi8(v, lf))));
        if (ends) return p + __builtin_ctz(ends);
    }
    while (p != end && *p != '\r' && *p != '\n') ++p;
    return p;
}

bool HaveVectorScan() { return __builtin_cpu_supports("avx2"); }

#else

const char* FindLineEndVector(const char* p, const char* end) { return FindLineEndPortable(p, end); }

bool LfFollowsCrVector(const char* p, std::size_t n) { return LfFollowsCrPortable(p, n); }

bool HaveVectorScan() { return false; }

#endif
