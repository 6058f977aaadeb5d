// WriteLog on Windows. The log is opened without sharing from the first read to the last
// write: nobody else may open it meanwhile, and a log another program holds open costs the
// line. A log already in the written form gets the line appended in place, and is cut back to
// its old length when the append fails. Any other log is written anew into a file beside it
// (RewriteFileName), flushed, and moved over the log in one step, so that the log is the old
// file or the new one, whole; the new file is removed on every failure.
#include "log/SecFunc.h"

#include "base/Scoped_win.h"
#include "log/LogLines.h"
#include "log/LogOs_win.h"
#include "log/LogStampText.h"

#include <windows.h>

#include <string>

LogOsCalls logOs = {&::WriteFile, &::FlushFileBuffers, &::SetEndOfFile, &::MoveFileExA};

namespace {

// The log is streamed through buffers of this size, never held whole.
constexpr DWORD kPiece = 1u << 18;

// The buffers a call streams the log through, kept for the thread's next call: a log of tens
// of megabytes is read whole for every line, and fresh memory costs a page fault per page.
struct Buffers {
    std::string in;
    std::string out = std::string(LogRewrite::MaxOut(kPiece), '\0');
};

Buffers& ThreadBuffers() {
    thread_local Buffers buffers;
    return buffers;
}

bool WriteAll(HANDLE h, const char* p, std::size_t size) {
    while (size > 0) {
        const DWORD part = size > kPiece ? kPiece : static_cast<DWORD>(size);
        DWORD done = 0;
        if (!logOs.WriteFile(h, p, part, &done, nullptr) || done == 0) return false;
        p += done;
        size -= done;
    }
    return true;
}

bool WriteAll(HANDLE h, const std::string& bytes) { return WriteAll(h, bytes.data(), bytes.size()); }

// Reads the next piece into buf; false on a read failure. At the end, buf is empty.
bool ReadPiece(HANDLE h, std::string& buf) {
    buf.resize(kPiece);
    DWORD got = 0;
    if (!ReadFile(h, &buf[0], kPiece, &got, nullptr)) return false;
    buf.resize(got);
    return true;
}

// The file beside the log that the new content is written to: open for this process alone
// (the delete share is what lets the move rename it while it is open), and removed again at
// the end of the call unless it was moved into the log's place.
class NewFile {
public:
    explicit NewFile(const std::string& logName)
        : name_(RewriteFileName(logName, AnsiLeadByte)),
          file_(CreateFileA(name_.c_str(), GENERIC_WRITE, FILE_SHARE_DELETE, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr)) {}
    ~NewFile() {
        const bool made = file_.valid();
        file_.Close();
        if (made && !moved_) DeleteFileA(name_.c_str());
    }
    NewFile(const NewFile&) = delete;
    NewFile& operator=(const NewFile&) = delete;

    bool valid() const { return file_.valid(); }
    HANDLE get() const { return file_.get(); }
    bool MoveTo(const std::string& target, DWORD flags) {
        moved_ = logOs.MoveFileExA(name_.c_str(), target.c_str(), flags) != 0;
        return moved_;
    }

private:
    std::string name_;
    KernelHandle file_;
    bool moved_ = false;
};

// The rewrite; log is null when there is no log yet.
void ReplaceLog(const std::string& name, KernelHandle* log, const std::string& line) {
    Buffers& buffers = ThreadBuffers();
    NewFile temp(name);
    if (!temp.valid()) return;

    LogRewrite rewrite;
    char* const out = &buffers.out[0];
    if (log) {
        LARGE_INTEGER start = {};
        if (!SetFilePointerEx(log->get(), start, nullptr, FILE_BEGIN)) return;
        for (;;) {
            if (!ReadPiece(log->get(), buffers.in)) return;
            if (buffers.in.empty()) break;
            if (!WriteAll(temp.get(), out, rewrite.Feed(buffers.in, out))) return;
        }
    }
    if (!WriteAll(temp.get(), rewrite.Finish(line)) || !logOs.FlushFileBuffers(temp.get())) return;

    // Windows moves no file over one that is open, even by this process, so the log is let go
    // only now, just before the move. Should another process open it in that instant, the
    // move fails, the log stays as it was and the line is lost.
    DWORD flags = MOVEFILE_WRITE_THROUGH;
    if (log) {
        log->Close();
        flags |= MOVEFILE_REPLACE_EXISTING;
    }
    temp.MoveTo(name, flags);
}

void AppendToLog(HANDLE log, LONGLONG oldSize, const std::string& line) {
    if (WriteAll(log, line + "\r\n")) return;
    LARGE_INTEGER at;
    at.QuadPart = oldSize;
    if (SetFilePointerEx(log, at, nullptr, FILE_BEGIN)) logOs.SetEndOfFile(log);
}

void AddLine(const std::string& name, const std::string& line) {
    if (name.empty()) return;
    const DWORD attributes = GetFileAttributesA(name.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) return;

    KernelHandle log(CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!log.valid()) {
        if (GetLastError() == ERROR_FILE_NOT_FOUND) ReplaceLog(name, nullptr, line);
        return;
    }

    WrittenFormCheck check;
    std::string& in = ThreadBuffers().in;
    LONGLONG size = 0;
    for (;;) {
        if (!ReadPiece(log.get(), in)) return;
        if (in.empty()) break;
        size += static_cast<LONGLONG>(in.size());
        if (!check.Feed(in)) break;
    }
    if (in.empty() && check.Finish()) {
        AppendToLog(log.get(), size, line);
    } else {
        ReplaceLog(name, &log, line);
    }
}

// The user's regional separator of the given kind, or the fallback when it cannot be read
// (a separator too long for the buffer counts as long, which also gives the fallback).
std::string RegionalSeparator(LCTYPE kind, char fallback) {
    char buf[16];
    const int n = GetLocaleInfoA(LOCALE_USER_DEFAULT, kind, buf, sizeof buf);
    if (n <= 0) return std::string(1, fallback);
    return std::string(buf, n - 1);
}

}  // namespace

void WriteLog(const std::string& logFileName, const std::string& line) noexcept {
    try {
        AddLine(logFileName, line);
    } catch (...) {
        // Out of memory: the line is lost, as on any other failure.
    }
}

std::string LogStamp() {
    SYSTEMTIME now;
    GetLocalTime(&now);
    const StampTime t = {now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond, now.wMilliseconds};
    return FormatLogStamp(t, RegionalSeparator(LOCALE_SDATE, '/'), RegionalSeparator(LOCALE_STIME, ':'));
}
