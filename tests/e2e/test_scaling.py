#!/usr/bin/python3
"""The program's two windows hold their texts whatever the font and the screen's scale: with
"MS Sans Serif" resolving to a wider face than the design's bitmap font, at 96 and at 144 dots
per inch. Every static's text (measured with the font request the program makes) fits its
control, every control lies in the client area with the design's margins, and the design's
order and alignment hold. A screenshot of each case is left in the build folder's
tests/e2e/artefacts."""

import os

from harness import REG_DWORD, REG_SZ, child, smoke
from fixtures import (CONTROLS, LABEL, LABELS, MAIN_CAPTION, NO_SERVER, REGISTRY_ERROR, SpineTestCase, wait_dialog,
                      wait_main_window)

CASES = [(96, 'wide_font_96dpi'), (144, 'wide_font_144dpi')]

# Outer sizes at 96 dpi (frame and title bar included) and the controls' client-area places:
# (static text or control id, (left, top, width, height)).
MAIN = ((286, 73), [(LABEL, (24, 8, 133, 13))])
DIALOG = ((319, 181), LABELS + CONTROLS)


def scale(pixels, dpi):
    return (pixels * dpi + 48) // 96


def font_height(dpi):
    """The character height of the windows' 8-point font at dpi."""
    return (8 * dpi + 36) // 72


class Scaling(SpineTestCase):

    def artefact(self, name):
        return os.path.join(os.path.dirname(self.session.state_dir), 'artefacts', name + '.png')

    def assertHoldsItsDesign(self, window, design, dpi, frame96, picture):
        """Checks window against design at dpi, after keeping a picture of it."""
        self.session.screenshot(window['rect'], picture)
        outer96, controls = design
        cw, ch = window['client']
        dcw, dch = outer96[0] - frame96[0], outer96[1] - frame96[1]
        self.assertGreaterEqual(cw, scale(dcw, dpi) - 1, 'client narrower than the scaled design')
        self.assertGreaterEqual(ch, scale(dch, dpi) - 1, 'client lower than the scaled design')
        cl, ct = window['client_rect'][:2]
        places = []
        for key, (x, y, w, h) in controls:
            ctl = child(window, caption=key) if isinstance(key, str) else child(window, id=key)
            self.assertIsNotNone(ctl, key)
            l, t, r, b = ctl['rect']
            place = (l - cl, t - ct, r - l, b - t)
            places.append(place)
            px, py, pw, ph = place
            what = '%r at %d dpi: %r in a %dx%d client' % (key, dpi, place, cw, ch)
            self.assertTrue(px >= 0 and py >= 0 and px + pw <= cw and py + ph <= ch, 'outside: ' + what)
            self.assertLessEqual(abs(py - scale(y, dpi)), 1, 'row moved: ' + what)
            self.assertGreaterEqual(px, scale(x, dpi) - 1, 'moved left: ' + what)
            self.assertGreaterEqual(cw - px - pw, scale(dcw - x - w, dpi) - 1, 'right margin lost: ' + what)
            self.assertGreaterEqual(ch - py - ph, scale(dch - y - h, dpi) - 1, 'bottom margin lost: ' + what)
            if isinstance(key, str):
                (tw, th), _ = self.session.text_extent(key, font_height(dpi))
                self.assertTrue(tw <= pw and th <= ph, 'text of %dx%d cut: %s' % (tw, th, what))
        # Order and alignment: what stands left of, above or in line with another in the design
        # still does.
        for (ka, (ax, ay, aw, ah)), pa in zip(controls, places):
            for (kb, (bx, by, bw, bh)), pb in zip(controls, places):
                if ax + aw <= bx:
                    self.assertLessEqual(pa[0] + pa[2], pb[0], '%r no longer left of %r' % (ka, kb))
                if ay + ah <= by:
                    self.assertLessEqual(pa[1] + pa[3], pb[1], '%r no longer above %r' % (ka, kb))
                if ax == bx:
                    self.assertEqual(pa[0], pb[0], '%r and %r no longer aligned' % (ka, kb))

    def assertFontIsWider(self):
        (width, _), face = self.session.text_extent(LABELS[0][0], font_height(96))
        self.assertGreater(width, LABELS[0][1][2], 'the face taken (%s) is not wider than the design' % face)

    def each_case(self, window, check):
        """Runs check(scenario, dpi, frame96) for each case in a scenario of its own, with the
        case's screen settings in force; frame96 is what the frame and title bar added at 96 dpi
        (the first case). A case's programs end with it, so the next one can start."""
        frame96 = None
        for dpi, name in CASES:
            with self.subTest(dpi=dpi), self.session.screen_settings(dpi, bitmap_font=False):
                self.assertFontIsWider()
                sc = self.scenario('%s_%s' % (window, name))
                try:
                    shown = check(sc, dpi, frame96, self.artefact('%s_%s' % (window, name)))
                finally:
                    sc.close()
                if dpi == 96:
                    frame96 = self.frame(shown)

    @smoke
    def test_main_window_left_open_holds_its_text(self):
        def check(sc, dpi, frame96, picture):
            sc.write_key([('ServerPath', REG_DWORD, 1)])
            program = sc.start(sc.install())
            box = self.wait_stop_box('Setup', REGISTRY_ERROR % 'ServerPath')
            self.session.keys(box, 'Return')
            main = wait_main_window(self.session)
            self.assertEqual(main['caption'], MAIN_CAPTION)
            self.assertEqual(main['rect'][:2], [scale(214, dpi), scale(200, dpi)], 'place on the screen')
            self.assertHoldsItsDesign(main, MAIN, dpi, frame96 or self.frame(main), picture)
            self.close_main_window(program, main)
            return main
        self.each_case('main', check)

    @smoke
    def test_credentials_dialog_holds_its_texts(self):
        def check(sc, dpi, frame96, picture):
            sc.write_key([('ServerPath', REG_SZ, sc.path('Server')), ('LocalPath', REG_SZ, sc.path('Client')),
                          ('Pallado_Connection', REG_SZ, NO_SERVER)])
            program = sc.start(sc.install())
            dialog = wait_dialog(self.session, 30)
            self.assertHoldsItsDesign(dialog, DIALOG, dpi, frame96 or self.frame(dialog), picture)
            self.assertTrue(child(dialog, id=1)['focused'], 'the focus is on OK')
            self.session.keys(dialog, 'Escape')
            self.assertEqual(program.wait(30), 0)
            return dialog
        self.each_case('dialog', check)

    @staticmethod
    def frame(window):
        """What the frame and title bar add to the client area."""
        l, t, r, b = window['rect']
        return (r - l - window['client'][0], b - t - window['client'][1])


if __name__ == '__main__':
    import sys
    import harness
    sys.exit(harness.run_modules([os.path.splitext(os.path.basename(__file__))[0]]))
