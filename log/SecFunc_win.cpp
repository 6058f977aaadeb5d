// WriteLog on Windows. The log is opened sharing reading only, from the first read to the last
// write: viewers, scanners and backup agents that read it may keep it open, no other writer gets
// in. A log already in the written form gets the line appended in place, and is cut back to its
// old length when the append fails. Any other log is written anew into a file beside it
// (RewriteFileName), flushed, and moved over the log in one step, so that the log is the old
// file or the new one, whole; the new file is removed on every failure. Windows moves no file
// over one that another program has open: when the move is refused, the line is appended in
// place instead, and the next line that can be moved gives every line its CR LF.
//
// Nothing is read or written unless the log is a plain file in a plain folder, decided on the
// handles opened, never on a name looked at before (LogFolder): the log and its folder are no
// links, the log has no other name, and the folder is held so that nothing can be swapped in
// while the line is written. The new file is made only where no name exists; one an earlier call
// left there is removed only when it is itself a plain file of the folder. While the name stays
// taken, the line is appended in place.
//
// A file another program holds for a moment (an open, a move or a delete refused) is tried
// again after growing pauses, within about 2 s per line (Patience). A log held longer costs the
// line, never more of the run than that.
#include "log/SecFunc.h"

#include "base/Scoped_win.h"
#include "log/FinalPath.h"
#include "log/LogLines.h"
#include "log/LogOs_win.h"
#include "log/LogStampText.h"
#include "settings/PathRules.h"

#include <windows.h>

#include <algorithm>
#include <string>

LogOsCalls logOs = {&::GetFileAttributesA,
                    &::CreateFileA,
                    &::ReadFile,
                    &::WriteFile,
                    &::SetFilePointerEx,
                    &::FlushFileBuffers,
                    &::SetEndOfFile,
                    &::MoveFileExA,
                    &::DeleteFileA,
                    &::Sleep,
                    &::CreateFileA,
                    &::GetFileInformationByHandleEx,
                    &::GetFinalPathNameByHandleA,
                    &::SetFileInformationByHandle};

namespace {

// The log is streamed through buffers of this size, never held whole.
constexpr DWORD kPiece = 1u << 18;

// The waiting one line may spend on files other programs hold: pauses from 10 ms, each twice
// the one before up to 250 ms, 2 s in all.
class Patience {
public:
    // After a failed call: pauses and returns true when the call is worth trying again.
    bool Pause(bool refused) {
        if (!refused || left_ == 0) return false;
        const DWORD ms = std::min(next_, left_);
        logOs.Sleep(ms);
        left_ -= ms;
        next_ = std::min<DWORD>(2 * next_, 250);
        return true;
    }

private:
    DWORD next_ = 10;
    DWORD left_ = 2000;
};

// An open refused because another program has the file open in a way that excludes it.
bool Held(DWORD error) { return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION; }

// A move or delete refused likewise; Windows denies access to a file that another has open.
bool Refused(DWORD error) { return Held(error) || error == ERROR_ACCESS_DENIED; }

// Makes call until it succeeds, fails otherwise than refused, or the patience is spent; the
// last error is then the call's own.
template <typename Call>
bool Retry(Patience& patience, bool (*refused)(DWORD), Call call) {
    while (!call())
        if (!patience.Pause(refused(GetLastError()))) return false;
    return true;
}

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
// An existing item is opened as itself, not as what a link at its name leads to (where the system
// honours that: Wine opens the target all the same, which the final path then tells).
constexpr DWORD kExisting = FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT;
constexpr DWORD kFolder = FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT;

HANDLE Open(const std::string& name, DWORD access, DWORD share, DWORD disposition, Patience& patience,
            DWORD flags = FILE_ATTRIBUTE_NORMAL) {
    const auto create = flags & FILE_FLAG_BACKUP_SEMANTICS ? logOs.OpenFolderA : logOs.CreateFileA;
    HANDLE h = INVALID_HANDLE_VALUE;
    Retry(patience, Held, [&] {
        h = create(name.c_str(), access, share, nullptr, disposition, flags, nullptr);
        return h != INVALID_HANDLE_VALUE;
    });
    return h;
}

// The path a call of the kind of GetFullPathNameA writes into a buffer: it returns the length
// written, the size needed when the buffer is too small (Windows counts the terminator in it,
// Wine's GetFinalPathNameByHandleA does not), or 0 when it fails. Empty when it fails.
template <typename Call>
std::string PathFrom(Call call) {
    std::string path(MAX_PATH, '\0');
    for (int tries = 0; tries < 3; ++tries) {
        const DWORD n = call(&path[0], static_cast<DWORD>(path.size()));
        if (n == 0) return std::string();
        if (n < path.size()) return path.substr(0, n);
        path.resize(n + 1);
    }
    return std::string();
}

// The path the opened file or folder lies at, every link on the way followed.
std::string FinalPath(HANDLE h) {
    return PathFrom([h](char* buffer, DWORD size) {
        return logOs.GetFinalPathNameByHandleA(h, buffer, size, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    });
}

// The full path of a name, "." and ".." resolved as Windows resolves them.
std::string FullPath(const std::string& name) {
    return PathFrom(
        [&name](char* buffer, DWORD size) { return GetFullPathNameA(name.c_str(), size, buffer, nullptr); });
}

// Whether h, opened by the name given and lying at final, is of the kind given (a folder, or 0
// for a file) and no link, a file has no other name, and it lies in the folder of final path
// parentFinal under that name.
bool PlainChild(HANDLE h, const std::string& final, const std::string& parentFinal, const std::string& name,
                DWORD kind) {
    // Two queries of the file's own record: GetFileInformationByHandle also asks for the volume's
    // serial number, which costs Wine more than the rest of an append.
    FILE_ATTRIBUTE_TAG_INFO tag;
    FILE_STANDARD_INFO standard;
    return logOs.GetFileInformationByHandleEx(h, FileAttributeTagInfo, &tag, sizeof tag) &&
           logOs.GetFileInformationByHandleEx(h, FileStandardInfo, &standard, sizeof standard) &&
           (tag.FileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) == kind &&
           (kind == FILE_ATTRIBUTE_DIRECTORY || standard.NumberOfLinks == 1) &&
           IsFinalPathOfChild(final, parentFinal, FileNamePart(name, AnsiLeadByte), AnsiLeadByte, AnsiLowerCase);
}

// The log's folder, opened as a folder and held for the call without sharing delete, so that
// nobody renames or removes it, or puts a link in its place, while the log is read and written.
// It is plain when it is a folder and no link or mount point itself: its final path is its
// parent's followed by its own name. Links above it move both alike; they are the
// administrator's, as for an installation moved to another drive and reached through a link.
class LogFolder {
public:
    LogFolder(const std::string& logName, Patience& patience) {
        const std::string path = DirectoryPart(logName, AnsiLeadByte);
        folder_.reset(Open(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING, patience, kFolder));
        if (!folder_.valid()) return;
        const std::string final = FinalPath(folder_.get());
        // A folder that lies at its name's full path is no link, and nothing above it is one.
        // Otherwise its parent's final path tells links above it from a link at the folder.
        const std::string full = FullPath(path);
        bool plain = !full.empty() && PlainChild(folder_.get(), final, DirectoryPart(full, AnsiLeadByte), full,
                                                 FILE_ATTRIBUTE_DIRECTORY);
        if (!plain) {
            KernelHandle parent(Open(DirectoryPart(path, AnsiLeadByte), FILE_READ_ATTRIBUTES, kShareAll, OPEN_EXISTING,
                                     patience, kFolder));
            plain = parent.valid() &&
                    PlainChild(folder_.get(), final, FinalPath(parent.get()), path, FILE_ATTRIBUTE_DIRECTORY);
        }
        if (plain) final_ = final;
    }

    bool plain() const { return !final_.empty(); }

    // Whether file, opened by the name given, is a plain file of this plain folder: no link,
    // no other name, and lying in the folder under that name.
    bool Holds(HANDLE file, const std::string& name) const {
        return plain() && PlainChild(file, FinalPath(file), final_, name, 0);
    }

private:
    KernelHandle folder_;
    std::string final_;  // the folder's final path; empty unless it is plain
};

// The log, open to read and write it, others let read only; invalid with the open's error when
// it cannot be opened, and with ERROR_ACCESS_DENIED when it is no plain file of the folder.
HANDLE OpenLog(const LogFolder& folder, const std::string& name, Patience& patience) {
    const HANDLE h = Open(name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, OPEN_EXISTING, patience, kExisting);
    if (h == INVALID_HANDLE_VALUE || folder.Holds(h, name)) return h;
    CloseHandle(h);
    SetLastError(ERROR_ACCESS_DENIED);
    return INVALID_HANDLE_VALUE;
}

// Removes a file an earlier call left at name, when it is a plain file of the folder; through
// the handle it was checked on, since a removal by name follows a link under Wine.
bool RemoveLeftover(const LogFolder& folder, const std::string& name, Patience& patience) {
    KernelHandle file(Open(name, DELETE | FILE_READ_ATTRIBUTES, kShareAll, OPEN_EXISTING, patience, kExisting));
    FILE_DISPOSITION_INFO gone = {TRUE};
    return file.valid() && folder.Holds(file.get(), name) &&
           logOs.SetFileInformationByHandle(file.get(), FileDispositionInfo, &gone, sizeof gone);
}

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
    if (!logOs.ReadFile(h, &buf[0], kPiece, &got, nullptr)) return false;
    buf.resize(got);
    return true;
}

// The file's length, with the file pointer moved to its end; -1 when that fails.
LONGLONG EndOf(HANDLE h) {
    LARGE_INTEGER zero = {}, end;
    return logOs.SetFilePointerEx(h, zero, &end, FILE_END) ? end.QuadPart : -1;
}

// Appends the line at the log's end, after a line end of its own when the last line has none,
// so that every old line keeps its text; cuts the log back to its old length when that fails.
void AppendInPlace(HANDLE log, const std::string& line) {
    LARGE_INTEGER end;
    end.QuadPart = EndOf(log);
    if (end.QuadPart < 0) return;
    std::string bytes = line + "\r\n";
    if (end.QuadPart > 0) {
        LARGE_INTEGER last;
        last.QuadPart = end.QuadPart - 1;
        char c = 0;
        DWORD got = 0;
        if (!logOs.SetFilePointerEx(log, last, nullptr, FILE_BEGIN) || !logOs.ReadFile(log, &c, 1, &got, nullptr) ||
            got != 1)
            return;
        if (c != '\r' && c != '\n') bytes.insert(0, "\r\n");
    }
    if (WriteAll(log, bytes)) return;
    if (logOs.SetFilePointerEx(log, end, nullptr, FILE_BEGIN)) logOs.SetEndOfFile(log);
}

// The file beside the log that the new content is written to: made anew, never opened over a
// name that exists, open for this process alone (the delete share is what lets the move rename
// it while it is open), and removed again at the end of the call unless it was moved into the
// log's place. taken() when the name stays taken by what an earlier call may not remove.
class NewFile {
public:
    NewFile(const LogFolder& folder, const std::string& logName, Patience& patience)
        : name_(RewriteFileName(logName, AnsiLeadByte)), patience_(patience) {
        file_.reset(Create());
        if (file_.valid() || GetLastError() != ERROR_FILE_EXISTS) return;
        if (RemoveLeftover(folder, name_, patience)) file_.reset(Create());
        taken_ = !file_.valid();
    }
    ~NewFile() {
        const bool made = file_.valid();
        file_.Close();
        if (made && !moved_) Retry(patience_, Refused, [&] { return logOs.DeleteFileA(name_.c_str()) != 0; });
    }
    NewFile(const NewFile&) = delete;
    NewFile& operator=(const NewFile&) = delete;

    bool valid() const { return file_.valid(); }
    bool taken() const { return taken_; }
    HANDLE get() const { return file_.get(); }
    bool MoveTo(const std::string& target, DWORD flags) {
        moved_ = logOs.MoveFileExA(name_.c_str(), target.c_str(), flags) != 0;
        return moved_;
    }

private:
    HANDLE Create() { return Open(name_, GENERIC_WRITE, FILE_SHARE_DELETE, CREATE_NEW, patience_); }

    std::string name_;
    Patience& patience_;
    KernelHandle file_;
    bool moved_ = false;
    bool taken_ = false;
};

// Writes to file the written form of the log (from its start; none when log is null) and the
// line, and flushes it.
bool WriteRewrite(HANDLE log, HANDLE file, const std::string& line) {
    Buffers& buffers = ThreadBuffers();
    LogRewrite rewrite;
    char* const out = &buffers.out[0];
    if (log) {
        LARGE_INTEGER start = {};
        if (!logOs.SetFilePointerEx(log, start, nullptr, FILE_BEGIN)) return false;
        for (;;) {
            if (!ReadPiece(log, buffers.in)) return false;
            if (buffers.in.empty()) break;
            if (!WriteAll(file, out, rewrite.Feed(buffers.in, out))) return false;
        }
    }
    return WriteAll(file, rewrite.Finish(line)) && logOs.FlushFileBuffers(file);
}

void AddLine(const std::string& name, const std::string& line) {
    if (name.empty()) return;
    const DWORD attributes = logOs.GetFileAttributesA(name.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) return;

    Patience patience;
    const LogFolder folder(name, patience);
    if (!folder.plain()) return;
    KernelHandle log(OpenLog(folder, name, patience));
    if (!log.valid()) {
        if (GetLastError() != ERROR_FILE_NOT_FOUND) return;
        NewFile first(folder, name, patience);
        if (first.taken()) {
            log.reset(Open(name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, CREATE_NEW, patience));
            if (log.valid()) AppendInPlace(log.get(), line);
            return;
        }
        if (first.valid() && WriteRewrite(nullptr, first.get(), line))
            Retry(patience, Refused, [&] { return first.MoveTo(name, MOVEFILE_WRITE_THROUGH); });
        return;
    }

    WrittenFormCheck check;
    std::string& in = ThreadBuffers().in;
    for (;;) {
        if (!ReadPiece(log.get(), in)) return;
        if (in.empty() || !check.Feed(in)) break;
    }
    if (in.empty() && check.Finish()) {
        AppendInPlace(log.get(), line);
        return;
    }

    NewFile temp(folder, name, patience);
    if (temp.taken()) {
        AppendInPlace(log.get(), line);
        return;
    }
    if (!temp.valid() || !WriteRewrite(log.get(), temp.get(), line)) return;
    const LONGLONG copied = EndOf(log.get());
    // Windows moves no file over one that is open, even by this process: the log is let go for
    // each try of the move only, and held again while waiting for the next, so no other writer
    // gets in meanwhile. Should one have got in at such an instant, the copy is stale and the
    // line goes to the log's end as well.
    for (;;) {
        log.Close();
        if (temp.MoveTo(name, MOVEFILE_WRITE_THROUGH | MOVEFILE_REPLACE_EXISTING)) return;
        const DWORD error = GetLastError();
        log.reset(OpenLog(folder, name, patience));
        if (!log.valid()) return;
        if (EndOf(log.get()) != copied || !patience.Pause(Refused(error))) break;
    }
    AppendInPlace(log.get(), line);
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
