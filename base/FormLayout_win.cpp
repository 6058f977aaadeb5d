#include "base/FormLayout_win.h"

namespace {

constexpr int kFontPoints = 8;
constexpr char kFontFace[] = "MS Sans Serif";

// How much the frame and title bar add to a client area, at the system's dpi.
SIZE NonClient(DWORD style, DWORD exStyle) {
    RECT r = {0, 0, 0, 0};
    AdjustWindowRectEx(&r, style, FALSE, exStyle);
    return {r.right - r.left, r.bottom - r.top};
}

// The same at 96 dpi. Windows 10 (1607) and later say it directly; older systems only know
// the system's dpi, whose frame is scaled back.
SIZE NonClientAt96(DWORD style, DWORD exStyle) {
    const int dpi = SystemDpi();
    if (dpi == DesignDpi) return NonClient(style, exStyle);
    using ForDpi = BOOL(WINAPI*)(LPRECT, DWORD, BOOL, DWORD, UINT);
    const auto forDpi = reinterpret_cast<ForDpi>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("user32.dll"), "AdjustWindowRectExForDpi")));
    RECT r = {0, 0, 0, 0};
    if (forDpi && forDpi(&r, style, FALSE, exStyle, DesignDpi)) return {r.right - r.left, r.bottom - r.top};
    const SIZE now = NonClient(style, exStyle);
    return {MulDiv(now.cx, DesignDpi, dpi), MulDiv(now.cy, DesignDpi, dpi)};
}

}  // namespace

int SystemDpi() {
    const ScopedGetDC screen(nullptr);
    const int dpi = screen.get() ? GetDeviceCaps(screen.get(), LOGPIXELSY) : DesignDpi;
    return dpi > DesignDpi ? dpi : DesignDpi;
}

HFONT CreateDesignFont(int dpi) {
    return CreateFontA(-MulDiv(kFontPoints, dpi, 72), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                       OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE,
                       kFontFace);
}

LayoutSize TextExtent(HWND window, HFONT font, const char* text) {
    const ScopedGetDC dc(window);
    if (!dc.get()) return {};
    const ScopedSelectObject selected(dc.get(), font);
    SIZE size = {0, 0};
    GetTextExtentPoint32A(dc.get(), text, lstrlenA(text), &size);
    return {static_cast<int>(size.cx), static_cast<int>(size.cy)};
}

LayoutSize DesignClientSize(LayoutSize outer, DWORD style, DWORD exStyle) {
    const SIZE frame = NonClientAt96(style, exStyle);
    return {outer.width - frame.cx, outer.height - frame.cy};
}

LayoutSize OuterSize(LayoutSize client, DWORD style, DWORD exStyle) {
    const SIZE frame = NonClient(style, exStyle);
    return {client.width + frame.cx, client.height + frame.cy};
}

bool BuildWindow(HWND window, LayoutSize designOuter, const std::vector<DesignControl>& design, ScopedFont& font,
                 int dpi) {
    font.reset(CreateDesignFont(dpi));
    std::vector<ControlDesign> places;
    std::vector<LayoutSize> texts;
    for (const DesignControl& c : design) {
        places.push_back(c.place);
        texts.push_back(c.place.sizing == TextSizing::None ? LayoutSize{} : TextExtent(window, font.get(), c.text));
    }
    const DWORD style = static_cast<DWORD>(GetWindowLongA(window, GWL_STYLE));
    const DWORD exStyle = static_cast<DWORD>(GetWindowLongA(window, GWL_EXSTYLE));
    const FormLayout layout = LayOutForm(DesignClientSize(designOuter, style, exStyle), places, texts, dpi);

    const auto instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(window, GWLP_HINSTANCE));
    bool made = true;
    for (size_t i = 0; i < design.size(); ++i) {
        const DesignControl& c = design[i];
        const LayoutBox& b = layout.controls[i];
        HWND h =
            CreateWindowExA(c.exStyle, c.windowClass, c.text, WS_CHILD | WS_VISIBLE | c.style, b.left, b.top, b.width,
                            b.height, window, reinterpret_cast<HMENU>(static_cast<INT_PTR>(c.id)), instance, nullptr);
        if (h && font.get()) SendMessageA(h, WM_SETFONT, reinterpret_cast<WPARAM>(font.get()), FALSE);
        made = made && h;
        *c.handle = h;
    }
    const LayoutSize outer = OuterSize(layout.client, style, exStyle);
    SetWindowPos(window, nullptr, 0, 0, outer.width, outer.height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    return made;
}
