#pragma once
// Scope owners of the Win32 resources the program takes: each releases what it holds when it
// goes out of scope, on every path, the exceptional one included. None can be copied.
#include <objbase.h>
#include <windows.h>

// A kernel handle (file, process, thread); both NULL and INVALID_HANDLE_VALUE mean none.
class KernelHandle {
public:
    explicit KernelHandle(HANDLE h = nullptr) : h_(h) {}
    ~KernelHandle() { Close(); }
    KernelHandle(const KernelHandle&) = delete;
    KernelHandle& operator=(const KernelHandle&) = delete;

    HANDLE get() const { return h_; }
    bool valid() const { return h_ != nullptr && h_ != INVALID_HANDLE_VALUE; }
    void Close() { reset(); }
    void reset(HANDLE h = nullptr) {
        if (valid()) CloseHandle(h_);
        h_ = h;
    }

private:
    HANDLE h_;
};

// A window's device context (the screen's for no window), released with ReleaseDC.
class ScopedGetDC {
public:
    explicit ScopedGetDC(HWND window) : window_(window), dc_(GetDC(window)) {}
    ~ScopedGetDC() {
        if (dc_) ReleaseDC(window_, dc_);
    }
    ScopedGetDC(const ScopedGetDC&) = delete;
    ScopedGetDC& operator=(const ScopedGetDC&) = delete;

    HDC get() const { return dc_; }

private:
    HWND window_;
    HDC dc_;
};

// An object selected into a device context; the one it replaced is selected back. A null
// object selects nothing.
class ScopedSelectObject {
public:
    ScopedSelectObject(HDC dc, HGDIOBJ object) : dc_(dc), before_(object ? SelectObject(dc, object) : nullptr) {}
    ~ScopedSelectObject() {
        if (before_) SelectObject(dc_, before_);
    }
    ScopedSelectObject(const ScopedSelectObject&) = delete;
    ScopedSelectObject& operator=(const ScopedSelectObject&) = delete;

private:
    HDC dc_;
    HGDIOBJ before_;
};

// A GDI object the program made (a font, a brush), deleted with DeleteObject. It must outlive
// every window that draws with it.
template <typename T>
class GdiObject {
public:
    explicit GdiObject(T object = nullptr) : object_(object) {}
    ~GdiObject() { reset(); }
    GdiObject(const GdiObject&) = delete;
    GdiObject& operator=(const GdiObject&) = delete;

    T get() const { return object_; }
    void reset(T object = nullptr) {
        if (object_) DeleteObject(object_);
        object_ = object;
    }

private:
    T object_;
};

using ScopedFont = GdiObject<HFONT>;

// COM on the calling thread, for the owner's lifetime when it could be started.
class ScopedCom {
public:
    ScopedCom() : started_(SUCCEEDED(CoInitialize(nullptr))) {}
    ~ScopedCom() {
        if (started_) CoUninitialize();
    }
    ScopedCom(const ScopedCom&) = delete;
    ScopedCom& operator=(const ScopedCom&) = delete;

private:
    bool started_;
};

// Memory the system allocated for the caller with LocalAlloc (FormatMessage's buffer).
template <typename T>
class LocalMemory {
public:
    LocalMemory() = default;
    ~LocalMemory() {
        if (p_) LocalFree(p_);
    }
    LocalMemory(const LocalMemory&) = delete;
    LocalMemory& operator=(const LocalMemory&) = delete;

    T* get() const { return p_; }
    T** receive() { return &p_; }  // where the system stores the address; empty before

private:
    T* p_ = nullptr;
};
