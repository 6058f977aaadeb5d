#pragma once
// The written-form scan behind WrittenFormCheck (LogLines.h). Every appended line first reads
// the whole log through it, and logs run to tens of megabytes, so it decides what an append
// costs. The plain loop is enough where the compiler checks many bytes at a time with the
// vector instructions every x86-64 processor has; the 32-bit build may assume none, and there
// the plain loop makes an append several times the cost of reading the log. Hence a version
// with AVX2, picked where the processor runs it. Both give the same answer; both are declared
// here so the tests can hold each to the rule.
#include <cstddef>

// Whether this processor runs LfFollowsCrVector.
bool HaveVectorScan();

// True when, for every i in 1..n-1, p[i] is an LF exactly when p[i-1] is a CR.
bool LfFollowsCr(const char* p, std::size_t n);
bool LfFollowsCrPlain(const char* p, std::size_t n);
bool LfFollowsCrVector(const char* p, std::size_t n);  // only where HaveVectorScan()
