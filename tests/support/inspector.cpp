// inspector: shows the end-to-end tests what the operator would see of a program's windows.
//
//   inspector.exe list [--pid N | --exe NAME] [--settle]
//                                              top-level windows (all of them by default) with
//                                              their child controls, as one JSON object; with
//                                              --settle, each read once its thread has answered
//                                              a message ("answered"), so what the thread did
//                                              before it took up its messages again is done
//   inspector.exe post HWND restore|minimize|close
//                                              posts WM_SYSCOMMAND SC_RESTORE / SC_MINIMIZE, or
//                                              WM_CLOSE, to a window (HWND decimal or 0x hex)
//   inspector.exe extent FACE HEIGHT TEXT      the size in pixels of TEXT in the font that
//                                              CreateFont gives for FACE at character height
//                                              HEIGHT pixels, and the face it really took
//
// Captions are read as UTF-16 and printed as UTF-8. The text of an edit is printed only when it
// has no password character: Wine hands a password edit's text to other processes, Windows does
// not, so no test may rely on it. Exit code 0, or 1 with a message on stderr.
#include <windows.h>
#include <fcntl.h>
#include <io.h>
#include <tlhelp32.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

namespace {

std::string Utf8(const std::wstring& w) {
    if (w.empty()) return std::string();
    const int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), nullptr, 0, nullptr, nullptr);
    std::string out(n, '\0');
    WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), &out[0], n, nullptr, nullptr);
    return out;
}

std::string Caption(HWND h) {
    const int len = GetWindowTextLengthW(h);
    std::wstring w(len + 1, L'\0');
    w.resize(GetWindowTextW(h, &w[0], len + 1));
    return Utf8(w);
}

// Text of another process's control, through the message (GetWindowText gives "" for an edit).
std::string SentText(HWND h) {
    DWORD_PTR len = 0;
    if (!SendMessageTimeoutW(h, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 1000, &len)) return std::string();
    std::wstring w(len + 1, L'\0');
    DWORD_PTR got = 0;
    if (!SendMessageTimeoutW(h, WM_GETTEXT, len + 1, reinterpret_cast<LPARAM>(&w[0]), SMTO_ABORTIFHUNG, 1000, &got))
        return std::string();
    w.resize(got < len ? got : len);
    return Utf8(w);
}

std::string ClassOf(HWND h) {
    char name[256] = "";
    GetClassNameA(h, name, sizeof name);
    return name;
}

std::string Quote(const std::string& s) {
    std::string out = "\"";
    for (unsigned char c : s) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", c);
            out += buf;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

std::string Num(unsigned long long v) { return std::to_string(v); }
std::string Handle(HWND h) { return Num(reinterpret_cast<ULONG_PTR>(h)); }
const char* Bool(bool b) { return b ? "true" : "false"; }

std::string Rect(const RECT& r) {
    return "[" + std::to_string(r.left) + "," + std::to_string(r.top) + "," + std::to_string(r.right) + "," +
           std::to_string(r.bottom) + "]";
}

// Fields every window has, top-level or child.
std::string CommonFields(HWND h) {
    RECT wr = {}, cr = {};
    GetWindowRect(h, &wr);
    GetClientRect(h, &cr);
    POINT origin = {0, 0};
    ClientToScreen(h, &origin);
    const RECT screenClient = {origin.x, origin.y, origin.x + cr.right, origin.y + cr.bottom};
    const LONG style = GetWindowLongA(h, GWL_STYLE);
    std::string s;
    s += "\"hwnd\":" + Handle(h);
    s += ",\"class\":" + Quote(ClassOf(h));
    s += ",\"caption\":" + Quote(Caption(h));
    s += ",\"style\":" + Num(static_cast<DWORD>(style));
    s += ",\"exstyle\":" + Num(static_cast<DWORD>(GetWindowLongA(h, GWL_EXSTYLE)));
    s += ",\"rect\":" + Rect(wr);
    s += ",\"client\":[" + std::to_string(cr.right) + "," + std::to_string(cr.bottom) + "]";
    s += ",\"client_rect\":" + Rect(screenClient);
    s += std::string(",\"visible\":") + Bool(IsWindowVisible(h));
    s += std::string(",\"enabled\":") + Bool(IsWindowEnabled(h));
    return s;
}

std::string ChildJson(HWND h, HWND focus) {
    std::string s = "{" + CommonFields(h);
    s += ",\"parent\":" + Handle(GetParent(h));
    s += ",\"id\":" + std::to_string(GetDlgCtrlID(h));
    s += std::string(",\"focused\":") + Bool(h == focus);
    const std::string cls = ClassOf(h);
    const LONG style = GetWindowLongA(h, GWL_STYLE);
    if (lstrcmpiA(cls.c_str(), "Edit") == 0) {
        DWORD_PTR pw = 0;
        SendMessageTimeoutA(h, EM_GETPASSWORDCHAR, 0, 0, SMTO_ABORTIFHUNG, 1000, &pw);
        s += ",\"password_char\":" + Num(pw);
        if (pw == 0 && !(style & ES_PASSWORD)) s += ",\"text\":" + Quote(SentText(h));
    } else if (lstrcmpiA(cls.c_str(), "Button") == 0) {
        s += std::string(",\"default_button\":") + Bool((style & BS_TYPEMASK) == BS_DEFPUSHBUTTON);
    }
    return s + "}";
}

BOOL CALLBACK CollectWindow(HWND h, LPARAM out) {
    reinterpret_cast<std::vector<HWND>*>(out)->push_back(h);
    return TRUE;
}

std::map<DWORD, std::string> ProcessNames() {
    std::map<DWORD, std::string> names;
    HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snap == INVALID_HANDLE_VALUE) return names;
    PROCESSENTRY32 pe = {};
    pe.dwSize = sizeof pe;
    for (BOOL ok = Process32First(snap, &pe); ok; ok = Process32Next(snap, &pe)) names[pe.th32ProcessID] = pe.szExeFile;
    CloseHandle(snap);
    return names;
}

std::string TopLevelJson(HWND h, DWORD pid, DWORD tid, const std::string& exe, bool settle) {
    DWORD_PTR ignored = 0;
    const bool answered = settle && SendMessageTimeoutW(h, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 1000, &ignored);
    const HWND foreground = GetForegroundWindow();
    GUITHREADINFO gti = {};
    gti.cbSize = sizeof gti;
    GetGUIThreadInfo(tid, &gti);
    const bool ownsFocus = gti.hwndFocus && (gti.hwndFocus == h || IsChild(h, gti.hwndFocus));
    std::string s = "{" + CommonFields(h);
    s += ",\"pid\":" + Num(pid) + ",\"tid\":" + Num(tid) + ",\"exe\":" + Quote(exe);
    s += ",\"owner\":" + Handle(GetWindow(h, GW_OWNER));
    s += std::string(",\"iconic\":") + Bool(IsIconic(h)) + ",\"zoomed\":" + Bool(IsZoomed(h));
    s += std::string(",\"foreground\":") + Bool(h == foreground);
    s += std::string(",\"active\":") + Bool(h == gti.hwndActive);
    s += ",\"focus\":" + Handle(ownsFocus ? gti.hwndFocus : nullptr);
    if (settle) s += std::string(",\"answered\":") + Bool(answered);
    s += ",\"children\":[";
    std::vector<HWND> children;
    EnumChildWindows(h, CollectWindow, reinterpret_cast<LPARAM>(&children));
    for (size_t i = 0; i < children.size(); ++i) s += (i ? "," : "") + ChildJson(children[i], gti.hwndFocus);
    return s + "]}";
}

int List(int argc, char** argv) {
    DWORD wantPid = 0;
    const char* wantExe = nullptr;
    bool settle = false;
    for (int i = 2; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--pid" && i + 1 < argc) {
            wantPid = std::strtoul(argv[++i], nullptr, 0);
        } else if (a == "--exe" && i + 1 < argc) {
            wantExe = argv[++i];
        } else if (a == "--settle") {
            settle = true;
        } else if (a != "--all") {
            std::fprintf(stderr, "inspector: unknown option %s\n", a.c_str());
            return 1;
        }
    }
    const std::map<DWORD, std::string> names = ProcessNames();
    std::vector<HWND> tops;
    EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&tops));
    const HWND foreground = GetForegroundWindow();
    std::string out = "{\"foreground\":" + Handle(foreground) + ",\"windows\":[";
    bool first = true;
    for (HWND h : tops) {
        DWORD pid = 0;
        const DWORD tid = GetWindowThreadProcessId(h, &pid);
        const auto it = names.find(pid);
        const std::string exe = it == names.end() ? std::string() : it->second;
        if (wantPid && pid != wantPid) continue;
        if (wantExe && lstrcmpiA(exe.c_str(), wantExe) != 0) continue;
        out += (first ? "" : ",") + TopLevelJson(h, pid, tid, exe, settle);
        first = false;
    }
    out += "]}\n";
    std::fwrite(out.data(), 1, out.size(), stdout);
    return 0;
}

int Post(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: inspector post HWND restore|minimize|close\n");
        return 1;
    }
    const HWND h = reinterpret_cast<HWND>(static_cast<ULONG_PTR>(std::strtoull(argv[2], nullptr, 0)));
    const std::string what = argv[3];
    BOOL ok = FALSE;
    if (what == "restore") {
        ok = PostMessageA(h, WM_SYSCOMMAND, SC_RESTORE, 0);
    } else if (what == "minimize") {
        ok = PostMessageA(h, WM_SYSCOMMAND, SC_MINIMIZE, 0);
    } else if (what == "close") {
        ok = PostMessageA(h, WM_CLOSE, 0, 0);
    } else {
        std::fprintf(stderr, "inspector: unknown message %s\n", what.c_str());
        return 1;
    }
    if (!ok) {
        std::fprintf(stderr, "inspector: PostMessage failed, error %lu\n", GetLastError());
        return 1;
    }
    return 0;
}

// What a program's static sees when it asks for the same font: a window's font handle cannot be
// used across processes, its request can.
int Extent(int argc, char** argv) {
    if (argc != 5) {
        std::fprintf(stderr, "usage: inspector extent FACE HEIGHT TEXT\n");
        return 1;
    }
    HFONT font =
        CreateFontA(-std::atoi(argv[3]), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                    CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, argv[2]);
    HDC dc = GetDC(nullptr);
    if (!font || !dc) {
        std::fprintf(stderr, "inspector: no font or no screen DC\n");
        return 1;
    }
    HGDIOBJ before = SelectObject(dc, font);
    SIZE size = {0, 0};
    GetTextExtentPoint32A(dc, argv[4], lstrlenA(argv[4]), &size);
    char face[LF_FACESIZE] = "";
    GetTextFaceA(dc, sizeof face, face);
    SelectObject(dc, before);
    ReleaseDC(nullptr, dc);
    DeleteObject(font);
    std::printf("{\"cx\":%ld,\"cy\":%ld,\"face\":%s}\n", size.cx, size.cy, Quote(face).c_str());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    _setmode(_fileno(stdout), _O_BINARY);
    const std::string verb = argc > 1 ? argv[1] : "list";
    if (verb == "list") return List(argc, argv);
    if (verb == "post") return Post(argc, argv);
    if (verb == "extent") return Extent(argc, argv);
    std::fprintf(stderr,
                 "usage: inspector list [--pid N | --exe NAME] [--settle] | post HWND restore|minimize|close | "
                 "extent FACE HEIGHT TEXT\n");
    return 1;
}
