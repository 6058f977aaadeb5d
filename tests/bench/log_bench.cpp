// Benchmark of the upgrade log writer on a large log (Windows console program; run it under
// Wine with tests/bench/run_log_bench.sh). It prints figures; it passes or fails nothing.
//
//   log_bench <folder> [MiB (64)] [repetitions (7)]
//
// In the folder it makes a log of the given size in the written form (every line ending in
// CR LF) and one with LF-only line ends, then times, side by side in each repetition:
//   - WriteLog on the written-form log (the append path) against one plain sequential read of
//     the same file;
//   - WriteLog on the LF-only log (the rewrite path) against one plain copy of that file (read
//     and write through the same buffer size) and, for reference, the copy followed by a flush.
// The LF-only log is restored (and flushed) before each of its repetitions, outside the timing.
// Prints each median in milliseconds and the ratios.
#include "log/LogOs_win.h"
#include "log/SecFunc.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

const DWORD kBuffer = 1u << 20;

double Now() {
    static LARGE_INTEGER freq = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return 1000.0 * static_cast<double>(t.QuadPart) / static_cast<double>(freq.QuadPart);
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

[[noreturn]] void Fail(const char* what, const std::string& name) {
    std::fprintf(stderr, "log_bench: %s failed for %s (error %lu)\n", what, name.c_str(),
                 static_cast<unsigned long>(GetLastError()));
    std::exit(1);
}

HANDLE Open(const std::string& name, DWORD access, DWORD disposition) {
    HANDLE h = CreateFileA(name.c_str(), access, 0, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) Fail("open", name);
    return h;
}

// A log of about mib MiB of typical lines, each ended by lineEnd.
void MakeLog(const std::string& name, int mib, const char* lineEnd) {
    HANDLE h = Open(name, GENERIC_WRITE, CREATE_ALWAYS);
    std::string block;
    for (int i = 0; block.size() < kBuffer; ++i) {
        char line[128];
        std::snprintf(line, sizeof line, "2019/11/29 10:44:%02d - Success update table structure(s) for ZANT_%05d%s",
                      i % 60, i, lineEnd);
        block += line;
    }
    for (int i = 0; i < mib; ++i) {
        DWORD done = 0;
        if (!WriteFile(h, block.data(), static_cast<DWORD>(block.size()), &done, nullptr)) Fail("write", name);
    }
    CloseHandle(h);
}

void PlainRead(const std::string& name, std::vector<char>& buf) {
    HANDLE h = Open(name, GENERIC_READ, OPEN_EXISTING);
    DWORD got = 0;
    while (ReadFile(h, buf.data(), kBuffer, &got, nullptr) && got > 0) {}
    CloseHandle(h);
}

void PlainCopy(const std::string& from, const std::string& to, std::vector<char>& buf, bool flush) {
    HANDLE in = Open(from, GENERIC_READ, OPEN_EXISTING);
    HANDLE out = Open(to, GENERIC_WRITE, CREATE_ALWAYS);
    DWORD got = 0, done = 0;
    while (ReadFile(in, buf.data(), kBuffer, &got, nullptr) && got > 0) {
        if (!WriteFile(out, buf.data(), got, &done, nullptr)) Fail("write", to);
    }
    if (flush) FlushFileBuffers(out);
    CloseHandle(in);
    CloseHandle(out);
}

// Time spent inside the log writer's OS calls, through its seam.
LogOsCalls real;
double inWrite, inFlush, inMove;

template <typename F>
double Time(F f);

BOOL WINAPI TimedWrite(HANDLE h, LPCVOID data, DWORD size, LPDWORD done, LPOVERLAPPED ov) {
    BOOL ok;
    inWrite += Time([&] { ok = real.WriteFile(h, data, size, done, ov); });
    return ok;
}
BOOL WINAPI TimedFlush(HANDLE h) {
    BOOL ok;
    inFlush += Time([&] { ok = real.FlushFileBuffers(h); });
    return ok;
}
BOOL WINAPI TimedMove(LPCSTR from, LPCSTR to, DWORD flags) {
    BOOL ok;
    inMove += Time([&] { ok = real.MoveFileExA(from, to, flags); });
    return ok;
}

template <typename F>
double Time(F f) {
    const double t0 = Now();
    f();
    return Now() - t0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: log_bench <folder> [MiB] [repetitions]\n");
        return 64;
    }
    const std::string dir = std::string(argv[1]) + "\\";
    const int mib = argc > 2 ? std::atoi(argv[2]) : 64;
    const int reps = argc > 3 ? std::atoi(argv[3]) : 7;
    const std::string written = dir + "written.log", lfMaster = dir + "lf-master.log", lf = dir + "lf.log",
                      copy = dir + "copy.log";
    const std::string line = "2019/11/29 10:45:31 - Exit Setup.exe for 2.1.27";
    std::vector<char> buf(kBuffer);

    MakeLog(written, mib, "\r\n");
    MakeLog(lfMaster, mib, "\n");

    real = logOs;
    logOs.WriteFile = &TimedWrite;
    logOs.FlushFileBuffers = &TimedFlush;
    logOs.MoveFileExA = &TimedMove;

    std::vector<double> read, append, plainCopy, copyFlush, rewrite, writes, flushes, moves;
    for (int r = 0; r < reps; ++r) {
        read.push_back(Time([&] { PlainRead(written, buf); }));
        append.push_back(Time([&] { WriteLog(written, line); }));

        plainCopy.push_back(Time([&] { PlainCopy(lfMaster, copy, buf, false); }));
        copyFlush.push_back(Time([&] { PlainCopy(lfMaster, copy, buf, true); }));
        // The restored log is flushed, so that WriteLog's own flush waits for its own data only.
        PlainCopy(lfMaster, lf, buf, true);
        inWrite = inFlush = inMove = 0;
        rewrite.push_back(Time([&] { WriteLog(lf, line); }));
        writes.push_back(inWrite);
        flushes.push_back(inFlush);
        moves.push_back(inMove);
    }

    // The rewrite must have happened: the LF-only log grows by one CR per line.
    WIN32_FILE_ATTRIBUTE_DATA a, b;
    if (!GetFileAttributesExA(lf.c_str(), GetFileExInfoStandard, &a) ||
        !GetFileAttributesExA(lfMaster.c_str(), GetFileExInfoStandard, &b) || a.nFileSizeLow <= b.nFileSizeLow) {
        std::fprintf(stderr, "log_bench: the LF-only log was not rewritten\n");
        return 1;
    }

    const double mRead = Median(read), mAppend = Median(append), mCopy = Median(plainCopy),
                 mCopyFlush = Median(copyFlush), mRewrite = Median(rewrite);
    std::printf("log of %d MiB, %d repetitions, medians in ms\n", mib, reps);
    std::printf("written form: WriteLog %8.1f   plain read      %8.1f   ratio %.2f (target <= 1.5)\n", mAppend, mRead,
                mAppend / mRead);
    std::printf("LF-only:      WriteLog %8.1f   plain copy      %8.1f   ratio %.2f (target <= 1.5)\n", mRewrite, mCopy,
                mRewrite / mCopy);
    std::printf("              (copy with a flush at the end     %8.1f   ratio %.2f)\n", mCopyFlush,
                mRewrite / mCopyFlush);
    std::printf("              (WriteLog's time in writes %.1f, flush %.1f, move %.1f)\n", Median(writes),
                Median(flushes), Median(moves));
    DeleteFileA(copy.c_str());
    DeleteFileA(lf.c_str());
    DeleteFileA(lfMaster.c_str());
    DeleteFileA(written.c_str());
    return 0;
}
