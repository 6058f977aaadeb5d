#include "log/LineScan.h"

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#define LOG_VECTOR_SCAN 1
#include <immintrin.h>
#endif

namespace {

// Does not stop at the first mismatch, so that the compiler may take many bytes at a time.
bool TailFollows(const char* p, std::size_t i, std::size_t n) {
    unsigned char bad = 0;
    for (; i < n; ++i) bad |= (p[i] == '\n') ^ (p[i - 1] == '\r');
    return bad == 0;
}

}  // namespace

bool LfFollowsCr(const char* p, std::size_t n) {
    static const bool vector = HaveVectorScan();
    return vector ? LfFollowsCrVector(p, n) : LfFollowsCrPlain(p, n);
}

bool LfFollowsCrPlain(const char* p, std::size_t n) { return TailFollows(p, 1, n); }

#ifdef LOG_VECTOR_SCAN

// Each vector is compared with the vector one byte earlier, so the bytes are checked in step.
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

bool HaveVectorScan() { return __builtin_cpu_supports("avx2"); }

#else

bool LfFollowsCrVector(const char* p, std::size_t n) { return LfFollowsCrPlain(p, n); }

bool HaveVectorScan() { return false; }

#endif
