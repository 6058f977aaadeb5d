#pragma once
// The Windows side of the layout (base/FormLayout.h): the system's dpi, the design font, text
// extents, the conversion between a window's outer size and its client size, and the one way a
// window gets its controls. The program declares itself system-dpi aware, so everything here is
// in real screen pixels.
#include <windows.h>

#include <vector>

#include "base/FormLayout.h"
#include "base/Scoped_win.h"

// The screen's logical dots per inch, never below the design's 96.
int SystemDpi();

// The windows' font: "MS Sans Serif", 8 points at dpi (11 pixels high at 96), default
// character set. The caller owns it (a ScopedFont).
HFONT CreateDesignFont(int dpi);

// text's size in font, as window draws it.
LayoutSize TextExtent(HWND window, HFONT font, const char* text);

// The client size that the design's outer size (frame and title bar included, at 96 dpi)
// leaves for a window of this style.
LayoutSize DesignClientSize(LayoutSize outer, DWORD style, DWORD exStyle);

// The outer size a window of this style needs at the system's dpi for client.
LayoutSize OuterSize(LayoutSize client, DWORD style, DWORD exStyle);

// One control of a window's design. handle receives the control, or null when it could not be
// made; WS_CHILD and WS_VISIBLE are added to style.
struct DesignControl {
    HWND* handle;
    const char* windowClass;
    const char* text;
    DWORD style, exStyle;
    int id;
    ControlDesign place;
};

// Makes window's controls in the order of the design, which is their z-order and the tab order
// of those that take the focus, in the design font (made into font at dpi) and at the places
// LayOutForm gives them; then sizes window, whose design outer size is designOuter, to hold
// them. False when a control could not be made.
bool BuildWindow(HWND window, LayoutSize designOuter, const std::vector<DesignControl>& design, ScopedFont& font,
                 int dpi);
