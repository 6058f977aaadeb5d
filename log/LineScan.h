#pragma once
// The byte scans behind LogLines. Logs run to tens of megabytes, so bytes are looked at eight
// at a time, or 32 at a time where the processor has the vector instructions for it (x86 with
// AVX2). Each scan comes in both versions, which give the same answer, and a plain name that
// picks the vector one when the processor runs it; both versions are here so the tests can
// hold each to the rule.
#include <cstddef>

// Whether this processor runs the vector versions.
bool HaveVectorScan();

// The first CR or LF in [p, end), or end.
const char* FindLineEnd(const char* p, const char* end);
const char* FindLineEndPortable(const char* p, const char* end);
const char* FindLineEndVector(const char* p, const char* end);  // only where HaveVectorScan()

// True when, for every i in 1..n-1, p[i] is an LF exactly when p[i-1] is a CR.
bool LfFollowsCr(const char* p, std::size_t n);
bool LfFollowsCrPortable(const char* p, std::size_t n);
bool LfFollowsCrVector(const char* p, std::size_t n);  // only where HaveVectorScan()
