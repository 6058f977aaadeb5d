#include <gtest/gtest.h>

#include <vector>

#include "base/FormLayout.h"

namespace {

// The credentials dialog's design: a prompt across the top, two labels with their fields, two
// buttons; the client area as a 319x181 window with an 8x27 frame leaves it.
const LayoutSize kClient = {311, 154};
const std::vector<ControlDesign> kDialog = {
    {{13, 14, 275, 13}, TextSizing::Grow},  // prompt
    {{16, 44, 29, 13}, TextSizing::Grow},   // "Login:"
    {{16, 68, 49, 13}, TextSizing::Grow},   // "Password:"
    {{88, 40, 193, 21}},                    // login field
    {{88, 64, 193, 21}},                    // password field
    {{112, 102, 75, 25}},                   // OK
    {{200, 102, 75, 25}},                   // Cancel
};

std::vector<LayoutSize> Texts(int dpi, int promptWidth, int passwordWidth) {
    const int h = ScaleToDpi(13, dpi);
    return {{promptWidth, h}, {ScaleToDpi(29, dpi), h}, {passwordWidth, h}, {}, {}, {}, {}};
}

std::vector<LayoutBox> Boxes(const std::vector<ControlDesign>& design) {
    std::vector<LayoutBox> out;
    for (const ControlDesign& c : design) out.push_back(c.box);
    return out;
}

TEST(FormLayout, DesignTextsAt96DpiChangeNothing) {
    const FormLayout l = LayOutForm(kClient, kDialog, Texts(96, 275, 49), 96);
    EXPECT_EQ(l.client, kClient);
    EXPECT_EQ(l.controls, Boxes(kDialog));
}

TEST(FormLayout, NarrowerTextKeepsTheDesignOrFitsTheLabelButNeverShrinksTheWindow) {
    FormLayout l = LayOutForm(kClient, kDialog, Texts(96, 200, 40), 96);
    EXPECT_EQ(l.client, kClient);
    EXPECT_EQ(l.controls, Boxes(kDialog));

    // A label sized to its text: the main window's "Upgrade now. Please wait..." at 24,8.
    const LayoutSize mainClient = {278, 46};
    const std::vector<ControlDesign> main = {{{24, 8, 133, 13}, TextSizing::Fit}};
    l = LayOutForm(mainClient, main, {{120, 12}}, 96);
    EXPECT_EQ(l.controls[0], (LayoutBox{24, 8, 120, 12}));
    EXPECT_EQ(l.client, mainClient);
    l = LayOutForm(mainClient, main, {{159, 13}}, 96);
    EXPECT_EQ(l.controls[0], (LayoutBox{24, 8, 159, 13}));
    EXPECT_EQ(l.client, (LayoutSize{278 + 26, 46})) << "the label keeps its right margin of 121";
}

TEST(FormLayout, WiderTextWidensTheClientAndPushesWhatStandsToItsRight) {
    // The prompt grows by 66: only the client width follows, by the prompt's 23-pixel margin.
    FormLayout l = LayOutForm(kClient, kDialog, Texts(96, 341, 49), 96);
    EXPECT_EQ(l.controls[0], (LayoutBox{13, 14, 341, 13}));
    EXPECT_EQ(l.client, (LayoutSize{13 + 341 + 23, 154}));
    for (size_t i = 1; i < kDialog.size(); ++i) EXPECT_EQ(l.controls[i], kDialog[i].box) << i;

    // "Password:" grows by 11: both fields and both buttons move right together, keeping the
    // 23-pixel gap, the fields' common left edge and the fields' right margin.
    l = LayOutForm(kClient, kDialog, Texts(96, 275, 60), 96);
    EXPECT_EQ(l.controls[2], (LayoutBox{16, 68, 60, 13}));
    for (size_t i = 3; i < kDialog.size(); ++i) {
        LayoutBox moved = kDialog[i].box;
        moved.left += 11;
        EXPECT_EQ(l.controls[i], moved) << i;
    }
    EXPECT_EQ(l.controls[1], kDialog[1].box);
    EXPECT_EQ(l.client, (LayoutSize{311 + 11, 154}));
}

TEST(FormLayout, ScalesPlacesSizesAndClientByDpi) {
    // 125 %: 13 -> 16.25 -> 16, 275 -> 343.75 -> 344, 311 -> 388.75 -> 389, 154 -> 192.5 -> 193.
    FormLayout l = LayOutForm(kClient, kDialog, Texts(120, 344, 61), 120);
    EXPECT_EQ(l.controls[0], (LayoutBox{16, 18, 344, 16}));
    EXPECT_EQ(l.controls[3], (LayoutBox{110, 50, 241, 26}));
    EXPECT_EQ(l.client, (LayoutSize{389, 193}));
    EXPECT_EQ(ScaleToDpi(214, 120), 268) << "267.5 rounds up";

    // 200 %: everything doubles; a prompt wider than twice the design still widens the client.
    l = LayOutForm(kClient, kDialog, Texts(192, 550, 98), 192);
    EXPECT_EQ(l.client, (LayoutSize{622, 308}));
    EXPECT_EQ(l.controls[6], (LayoutBox{400, 204, 150, 50}));
    l = LayOutForm(kClient, kDialog, Texts(192, 700, 98), 192);
    EXPECT_EQ(l.client, (LayoutSize{26 + 700 + 46, 308}));
}

}  // namespace
