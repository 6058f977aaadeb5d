#!/usr/bin/python3
"""The credentials dialog on its own, through tests/support/pwdprobe: what the operator sees
(caption, frame, controls at their pixel places, masking, focus) and what each way of leaving
it hands back (result, DBUser, DBPwd). The probe starts with the built-in pair in DBUser/DBPwd,
so an untouched pair shows that nothing was stored."""

import os

from harness import E2ETestCase, child, smoke, wait_until
from fixtures import BUILT_IN, CAPTION, CONTROLS, EDIT_PWD, EDIT_USER, IDCANCEL, IDOK, LABELS, wait_dialog

SCREEN_W, SCREEN_H = 1280, 1024

WS_TABSTOP, WS_THICKFRAME, WS_SYSMENU, WS_CAPTION = 0x10000, 0x40000, 0x80000, 0xC00000
ES_PASSWORD = 0x20


class Probe:
    """One run of pwdprobe.exe in a fresh scenario folder."""

    def __init__(self, test, name):
        self.test = test
        self.sc = test.scenario(name)
        self.session = test.session
        self.program = self.sc.start(self.session.helper('pwdprobe/pwdprobe'))
        self.window = wait_dialog(self.session, 30)

    def focus(self):
        self.session.xdotool(['windowfocus', '--sync', self.session.x_window(CAPTION)])

    def keys(self, *keys):
        self.session.keys(CAPTION, *keys)

    def type(self, text):
        self.focus()
        self.session.xdotool(['type', '--delay', '30', text])

    def click(self, control_id):
        l, t, r, b = child(self.window, id=control_id)['rect']
        self.session.xdotool(['mousemove', str((l + r) // 2), str((t + b) // 2), 'click', '1'])

    def outcome(self):
        """(exit code, result, DBUser, DBPwd, the dialog window after it closed)."""
        rc = self.program.wait(30)
        out = {}
        with open(self.sc.unix(self.sc.root + '\\pwdprobe.out'), 'rb') as f:
            for line in f.read().decode('ascii').splitlines():
                k, v = line.split('=', 1)
                out[k] = v
        return (rc, int(out['result']), bytes.fromhex(out['user']).decode('cp1252'),
                bytes.fromhex(out['pwd']).decode('cp1252'), out['window'])


def client_place(window, ctl):
    """A control's (left, top, width, height) in its window's client area."""
    cl, ct = window['client_rect'][:2]
    l, t, r, b = ctl['rect']
    return (l - cl, t - ct, r - l, b - t)


class DialogLooks(E2ETestCase):

    @smoke
    def test_caption_frame_controls_focus_and_place(self):
        p = Probe(self, 'dialog_looks')
        w = p.window
        self.assertEqual(w['class'], '#32770')

        l, t, r, b = w['rect']
        self.assertEqual((r - l, b - t), (319, 181), 'outer size, frame and title included')
        self.assertEqual((l, t), ((SCREEN_W - 319) // 2, (SCREEN_H - 181) // 2), 'centred on the desktop')
        self.assertEqual(w['style'] & WS_CAPTION, WS_CAPTION)
        self.assertTrue(w['style'] & WS_THICKFRAME, 'sizeable border')
        self.assertFalse(w['style'] & WS_SYSMENU, 'no system menu, so no close box')

        # Modal and owned: its owner (the probe's application window) is disabled meanwhile.
        self.assertNotEqual(w['owner'], 0)
        owner = [o for o in self.session.windows(pid=None) if o['hwnd'] == w['owner']]
        self.assertEqual(len(owner), 1)
        self.assertFalse(owner[0]['enabled'])

        for text, (x, y, width, height) in LABELS:
            label = child(w, caption=text)
            self.assertIsNotNone(label, text)
            self.assertEqual(label['class'].lower(), 'static')
            lx, ly, lw, lh = client_place(w, label)
            self.assertEqual((lx, ly), (x, y), text)
            # The design sizes are those of the text in MS Sans Serif; a wider font in use grows
            # the label rather than hide its text.
            self.assertGreaterEqual(lw, width, text)
            self.assertGreaterEqual(lh, height, text)
        for cid, place in CONTROLS:
            ctl = child(w, id=cid)
            self.assertIsNotNone(ctl, cid)
            self.assertEqual(client_place(w, ctl), place, cid)

        for cid in (EDIT_USER, EDIT_PWD):
            edit = child(w, id=cid)
            self.assertEqual(edit['class'].lower(), 'edit')
            self.assertEqual(edit['password_char'], ord('*'), 'masked with *')
            self.assertTrue(edit['style'] & ES_PASSWORD)
        ok, cancel = child(w, id=IDOK), child(w, id=IDCANCEL)
        self.assertEqual((ok['caption'], cancel['caption']), ('&OK', '&Cancel'))
        self.assertTrue(ok['default_button'])
        self.assertFalse(cancel['default_button'])
        self.assertTrue(ok['focused'], 'the focus is on OK when the dialog comes up')
        self.assertTrue(w['foreground'])

        tab_order = [c['id'] for c in w['children'] if c['style'] & WS_TABSTOP]
        self.assertEqual(tab_order, [EDIT_USER, EDIT_PWD, IDOK, IDCANCEL])
        # Assistive tools name a field after the label just before it in the z-order.
        z_order = [c['caption'] if c['class'].lower() == 'static' else c['id'] for c in w['children']]
        self.assertEqual(z_order, [LABELS[0][0], LABELS[1][0], EDIT_USER, LABELS[2][0], EDIT_PWD, IDOK, IDCANCEL])

        p.keys('Escape')
        self.assertEqual(p.outcome(), (2, 2) + BUILT_IN + ('hidden',))

    def test_typing_shows_no_text_to_other_processes_and_tab_walks_the_order(self):
        p = Probe(self, 'dialog_tab')
        focus = [p.window['focus']]
        for _ in range(4):
            p.keys('Tab')
            w = wait_until('the focus to move', 10,
                           lambda: next((x for x in self.session.windows() if x['caption'] == CAPTION
                                         and x['focus'] not in (0, focus[-1])), None))
            focus.append(w['focus'])
        ids = {c['hwnd']: c['id'] for c in w['children']}
        self.assertEqual([ids[h] for h in focus], [IDOK, IDCANCEL, EDIT_USER, EDIT_PWD, IDOK])
        p.keys('Tab', 'Tab')  # from OK over Cancel to the login field
        p.type('secret')
        w = self.session.wait_window('the dialog', 10, caption=CAPTION)
        self.assertNotIn('text', child(w, id=EDIT_USER), 'a masked field shows no text')
        p.keys('alt+c')
        self.assertEqual(p.outcome(), (2, 2) + BUILT_IN + ('hidden',))


class DialogOutcomes(E2ETestCase):
    """Each way of leaving the dialog, and the pair it hands back."""

    CASES = [
        # name, actions, result, DBUser, DBPwd
        ('typed_pair_enter', [('keys', 'Tab', 'Tab'), ('type', '  sa user '), ('keys', 'Tab'),
                              ('type', ' p;w=d} '), ('keys', 'Return')], 1, '  sa user ', ' p;w=d} '),
        ('enter_at_once', [('keys', 'Return')], 1, '', ''),
        ('alt_o_from_a_field', [('keys', 'Tab', 'Tab'), ('type', 'op'), ('keys', 'alt+o')], 1, 'op', ''),
        ('o_on_a_button', [('keys', 'o')], 1, '', ''),
        ('esc_after_typing', [('keys', 'Tab', 'Tab'), ('type', 'someone'), ('keys', 'Escape')], 2) + BUILT_IN,
        ('cancel_clicked', [('keys', 'Tab', 'Tab'), ('type', 'x'), ('click', IDCANCEL)], 2) + BUILT_IN,
        ('alt_c_from_a_field', [('keys', 'Tab', 'Tab', 'Tab'), ('type', 'pw'), ('keys', 'alt+c')], 2) + BUILT_IN,
        ('enter_on_cancel', [('keys', 'Tab', 'Return')], 2) + BUILT_IN,
        ('closed_by_message', [('close',)], 2) + BUILT_IN,
    ]

    def test_results_and_pairs(self):
        for name, actions, result, user, pwd in self.CASES:
            with self.subTest(name):
                p = Probe(self, 'dialog_' + name)
                for action, *args in actions:
                    if action == 'keys':
                        p.keys(*args)
                    elif action == 'type':
                        p.type(args[0])
                    elif action == 'click':
                        p.click(args[0])
                    elif action == 'close':
                        self.session.post(p.window['hwnd'], 'close')
                self.assertEqual(p.outcome(), (result, result, user, pwd, 'hidden'))

    @smoke
    def test_typed_pair_with_spaces_comes_back_exactly(self):
        name, actions, result, user, pwd = self.CASES[0]
        p = Probe(self, 'dialog_smoke_' + name)
        p.keys('Tab', 'Tab')
        p.type(user)
        p.keys('Tab')
        p.type(pwd)
        p.keys('Return')
        self.assertEqual(p.outcome(), (1, 1, user, pwd, 'hidden'))


if __name__ == '__main__':
    import sys
    import harness
    sys.exit(harness.run_modules([os.path.splitext(os.path.basename(__file__))[0]]))
