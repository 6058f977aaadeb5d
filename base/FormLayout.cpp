#include "base/FormLayout.h"

#include <algorithm>
#include <cstddef>

int ScaleToDpi(int designPixels, int dpi) {
    const long long n = static_cast<long long>(designPixels) * dpi;
    return static_cast<int>(n >= 0 ? (n + DesignDpi / 2) / DesignDpi : -((-n + DesignDpi / 2) / DesignDpi));
}

FormLayout LayOutForm(LayoutSize designClient, const std::vector<ControlDesign>& design,
                      const std::vector<LayoutSize>& texts, int dpi) {
    const std::size_t n = design.size();
    FormLayout out;
    out.controls.resize(n);
    std::vector<int> growth(n, 0);
    for (std::size_t i = 0; i < n; ++i) {
        const LayoutBox& d = design[i].box;
        LayoutBox& b = out.controls[i];
        b = {ScaleToDpi(d.left, dpi), ScaleToDpi(d.top, dpi), ScaleToDpi(d.width, dpi), ScaleToDpi(d.height, dpi)};
        const LayoutSize text = i < texts.size() ? texts[i] : LayoutSize{};
        if (design[i].sizing == TextSizing::Fit) {
            b.width = text.width;
            b.height = text.height;
        } else if (design[i].sizing == TextSizing::Grow) {
            b.width = std::max(b.width, text.width);
            b.height = std::max(b.height, text.height);
        }
        if (design[i].sizing != TextSizing::None) growth[i] = std::max(0, b.width - ScaleToDpi(d.width, dpi));
    }

    // A control moves right by the largest push of the labels left of it, each label's push
    // being its own growth plus what moved the label itself. Controls sharing a design left
    // edge move together, so columns stay aligned. Walk the design from left to right.
    std::vector<std::size_t> order(n);
    for (std::size_t i = 0; i < n; ++i) order[i] = i;
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t a, std::size_t b) { return design[a].box.left < design[b].box.left; });
    std::vector<int> shift(n, 0);
    for (std::size_t j : order) {
        for (std::size_t i : order) {
            if (design[i].sizing != TextSizing::None && design[i].box.Right() <= design[j].box.left)
                shift[j] = std::max(shift[j], shift[i] + growth[i]);
        }
    }

    out.client = {ScaleToDpi(designClient.width, dpi), ScaleToDpi(designClient.height, dpi)};
    for (std::size_t i = 0; i < n; ++i) {
        LayoutBox& b = out.controls[i];
        b.left += shift[i];
        const LayoutBox& d = design[i].box;
        out.client.width = std::max(out.client.width, b.Right() + ScaleToDpi(designClient.width - d.Right(), dpi));
        out.client.height = std::max(out.client.height, b.Bottom() + ScaleToDpi(designClient.height - d.Bottom(), dpi));
    }
    return out;
}
