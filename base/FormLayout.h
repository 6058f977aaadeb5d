#pragma once
// Layout of the program's windows from their design, drawn in pixels for 96 dots per inch.
//
// Every place and size scales by dpi/96 (rounded to the nearest pixel). A label then takes the
// size of its text in the font really in use: at least its design size (Grow), or exactly the
// text (Fit). A label wider than its scaled design pushes every control that stands wholly to
// its right in the design by as much as it grew, so that gaps, order and alignment stay; the
// client area widens (or grows taller) until each control keeps the right and bottom margins
// of the design. It never gets smaller than the scaled design.
//
// Portable: the Windows side measures the texts, picks the dpi and turns the client size into
// a window size.
#include <vector>

struct LayoutBox {
    int left = 0, top = 0, width = 0, height = 0;
    int Right() const { return left + width; }
    int Bottom() const { return top + height; }
    bool operator==(const LayoutBox& o) const {
        return left == o.left && top == o.top && width == o.width && height == o.height;
    }
};

struct LayoutSize {
    int width = 0, height = 0;
    bool operator==(const LayoutSize& o) const { return width == o.width && height == o.height; }
};

enum class TextSizing { None, Grow, Fit };

struct ControlDesign {
    LayoutBox box;                         // in the client area, at 96 dpi
    TextSizing sizing = TextSizing::None;  // None: not sized by a text
};

struct FormLayout {
    LayoutSize client;
    std::vector<LayoutBox> controls;  // in the order of the design
};

inline constexpr int DesignDpi = 96;

// designPixels at dpi, rounded half away from zero.
int ScaleToDpi(int designPixels, int dpi);

// texts[i] is the extent of control i's text in the font in use at dpi (read for labels only;
// missing entries count as empty texts).
FormLayout LayOutForm(LayoutSize designClient, const std::vector<ControlDesign>& design,
                      const std::vector<LayoutSize>& texts, int dpi);
