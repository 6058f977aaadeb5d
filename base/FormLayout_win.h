#pragma once
// The Windows side of the layout (base/FormLayout.h): the system's dpi, the design font, text
// extents, and the conversion between a window's outer size and its client size. The program
// declares itself system-dpi aware, so everything here is in real screen pixels.
#include <windows.h>

#include "base/FormLayout.h"

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
