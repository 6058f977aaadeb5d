#!/usr/bin/python3
"""The login check of the whole program under Wine, against the SQL Server stand-in: the
built-in login on "Pallado", the credentials dialog when it fails, and what the operator's
choice leads to (the pair the upgrade logs in with, or no further database work)."""

import os
import re
import time

from harness import E2ETestCase, child, smoke, wait_until
from fixtures import (ALL_SUCCEED, BUILT_IN, CAPTION, CATALOGS, NO_DATABASE_WORK, Installation, journal_time,
                      world)


class LoginCheck(E2ETestCase):

    @smoke
    def test_built_in_login_accepted_runs_through_without_a_dialog(self):
        inst = Installation(self, world())
        inst.run_to_end()   # a dialog would keep the program waiting
        inst.assert_log(ALL_SUCCEED)
        self.assertEqual(inst.logins(), [(BUILT_IN[0], c, BUILT_IN[1], True) for c in ['Pallado'] + CATALOGS])

    @smoke
    def test_refused_then_typed_pair_is_what_the_upgrade_logs_in_with(self):
        # Spaces, ';', '=' and '}' arrive intact: the login needs braces (';', a trailing space),
        # the password none ('}' is doubled only inside braces, which FreeTDS would not undo).
        user, pwd = 'op;user ', 'p}w=1'
        inst = Installation(self, world(logins={user: pwd}))
        inst.start()
        inst.wait_dialog()
        inst.type_pair(user, pwd)
        self.session.keys(CAPTION, 'Return')
        self.assertEqual(inst.program.wait(120), 0)
        inst.assert_log(ALL_SUCCEED)
        # The typed pair is not tried on "Pallado": the next login is the upgrade's.
        self.assertEqual(inst.logins(), [(BUILT_IN[0], 'Pallado', BUILT_IN[1], False)] +
                         [(user, c, pwd, True) for c in CATALOGS])

    def test_leaving_the_dialog_otherwise_skips_all_database_work(self):
        for name in ['esc', 'cancel_clicked', 'alt_c']:
            with self.subTest(name):
                inst = Installation(self, world(logins={}), 'login_cancel_' + name)
                inst.start()
                dialog = inst.wait_dialog()
                inst.type_pair('someone', 'secret')
                if name == 'esc':
                    self.session.keys(CAPTION, 'Escape')
                elif name == 'alt_c':
                    self.session.keys(CAPTION, 'alt+c')
                else:
                    l, t, r, b = child(dialog, id=2)['rect']
                    self.session.xdotool(['mousemove', str((l + r) // 2), str((t + b) // 2), 'click', '1'])
                self.assertEqual(inst.program.wait(60), 0)
                inst.assert_log(NO_DATABASE_WORK)
                self.assertEqual(inst.logins(), [(BUILT_IN[0], 'Pallado', BUILT_IN[1], False)])

    def test_silent_server_brings_the_dialog_after_the_15_second_open_time_out(self):
        inst = Installation(self, dict(world(), silent=True))
        inst.start()
        connected = wait_until('the test connection', 30, lambda: inst.events('connect'))
        inst.wait_dialog(timeout=40)
        # From the stand-in's accept of the test connection to the dialog seen by the inspector.
        waited = time.time() - journal_time(connected[0])
        print("dialog %.2f s after the test connection was accepted" % waited)
        self.assertGreaterEqual(waited, 14.5)
        self.assertLess(waited, 20.0)
        self.assertEqual([e['event'] for e in inst.events()][:3], ['start', 'connect', 'silent'])
        self.session.keys(CAPTION, 'Escape')
        self.assertEqual(inst.program.wait(60), 0)
        inst.assert_log(NO_DATABASE_WORK)

    def test_cause_of_a_failed_test_reaches_neither_log_nor_screen(self):
        for name, state in [('unknown_catalog', world(Pallado=None)),
                            ('refused_login', world(Pallado={'faults': ['refuse_login']}))]:
            with self.subTest(name):
                inst = Installation(self, state, 'login_cause_' + name)
                inst.start()
                inst.wait_dialog()
                seen = inst.on_screen()
                self.assertNotIn('Error', seen)
                self.assertFalse([t for t in seen if re.search(r'SQL|\(18456\)|\(4060\)|failed', t)
                                  and t != 'Please enter system administrator password for SQL server'], seen)
                self.assertEqual(len([w for w in self.session.windows(exe='Setup.exe')
                                      if w['visible'] and w['class'] == '#32770']), 1, 'only the dialog')
                self.session.keys(CAPTION, 'Escape')
                self.assertEqual(inst.program.wait(60), 0)
                inst.assert_log(NO_DATABASE_WORK)
                self.assertEqual([l[3] for l in inst.logins()], [False])


if __name__ == '__main__':
    import sys
    import harness
    sys.exit(harness.run_modules([os.path.splitext(os.path.basename(__file__))[0]]))
