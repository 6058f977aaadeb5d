#!/usr/bin/python3
"""The login check of the whole program under Wine, against the SQL Server stand-in: the
built-in login on "Pallado", the credentials dialog when it fails, and what the operator's
choice leads to (the pair the upgrade logs in with, or no further database work).

Installation is also used by test_upgrade.py: a scenario tree with the program, the installation
key pointing at a stand-in of its own, and the package runner stand-in in LocalPath."""

import datetime
import json
import os
import re
import shutil
import time

from harness import REG_SZ, E2ETestCase, Standin, child, smoke, wait_until

CAPTION = '2.1.27 Upgrade'
CATALOGS = ['ZANT', 'ZANT_Backup', 'ZANT_model']
BUILT_IN = ('pallado_user', 'vermilion')

BANNER = '-------------------------------  2.1.27  -------------------------------'
RUN_SETUP = '{stamp} - Run Setup.exe for 2.1.27'
CLOSING = ['{stamp} - Exit Setup.exe for 2.1.27', '~ 2.1.27  --- finish update ---', ' ']
PACKAGE = ['{stamp} - Preparing to invoke DTS file for 2.1.27', '{stamp} - Finished to invoke DTS file for 2.1.27']


def success(catalog):
    return '{stamp} - Success update table structure(s) for ' + catalog


def fail(catalog):
    return '{stamp} - Fail update table structure(s) for ' + catalog


def rollback(catalog):
    return '{stamp} - Rollback for updating table structure(s) for ' + catalog


ALL_SUCCEED = [BANNER, RUN_SETUP] + [success(c) for c in CATALOGS] + PACKAGE + CLOSING
NO_DATABASE_WORK = [BANNER, RUN_SETUP] + CLOSING


def journal_time(event):
    """Epoch seconds of a stand-in journal event."""
    t = datetime.datetime.strptime(event['time'], '%Y-%m-%dT%H:%M:%S.%fZ')
    return t.replace(tzinfo=datetime.timezone.utc).timestamp()


def world(logins=None, **catalogs):
    """A stand-in state: the main catalog and the three catalogs with a narrow PORT.LOCATION and
    its index; catalogs=name -> dict of keys to change (None removes the catalog)."""
    state = {'logins': {BUILT_IN[0]: BUILT_IN[1]} if logins is None else logins, 'catalogs': {'Pallado': {}}}
    for c in CATALOGS:
        state['catalogs'][c] = {'port_table': True, 'location_width': 100, 'ix_port_location': True}
    for name, change in catalogs.items():
        if change is None:
            state['catalogs'].pop(name, None)
        else:
            state['catalogs'].setdefault(name, {}).update(change)
    return state


class Installation:
    """A scenario: Setup.exe in C:\\e2e\\<name>\\Prog\\Upgrade\\, LocalPath C:\\e2e\\<name>\\Local\\
    (so the log is C:\\e2e\\<name>\\Log\\2.1.27.log), and a stand-in with the given state."""

    def __init__(self, test, state, name=None):
        self.test = test
        self.session = test.session
        self.sc = test.scenario(name)
        self.exe = self.sc.install()
        self.local = self.sc.path('Local')
        self.sc.mkdir(self.local)
        self.sc.mkdir(self.sc.path('Server'))
        self.log_path = self.sc.path('Log\\2.1.27.log')
        self.standin = Standin(self.session, self.sc.unix(self.sc.path('standin')), state)
        test.addCleanup(self.standin.stop)
        # The package runner stand-in, so that a full run ends without a box.
        dtsrun = os.path.join(self.session.build_dir, 'tests', 'support', 'dtsrun', 'dtsrun.exe')
        shutil.copy(dtsrun, self.sc.unix(self.local + '\\dtsrun.exe'))
        with open(self.sc.unix(self.local + '\\dtsrun.cfg'), 'w') as f:
            f.write('report=none\n')
        self.sc.write_key([('ServerPath', REG_SZ, self.sc.path('Server') + '\\'),
                           ('LocalPath', REG_SZ, self.local + '\\'),
                           ('Pallado_Connection', REG_SZ, self.standin.server)])
        self.program = None

    def start(self):
        self.started = time.time()
        self.program = self.sc.start(self.exe)
        return self.program

    def run_to_end(self, timeout=120):
        """Starts the program and waits for it to end by itself; checks exit code 0."""
        self.start()
        self.test.assertEqual(self.program.wait(timeout), 0)
        self.ended = time.time()

    def log(self):
        return self.sc.read(self.log_path) if self.sc.exists(self.log_path) else b''

    def assert_log(self, lines):
        return self.test.assertLog(self.log(), lines, since=self.started, until=time.time())

    def events(self, kind=None, **match):
        return [e for e in self.standin.journal()
                if (kind is None or e['event'] == kind) and all(e.get(k) == v for k, v in match.items())]

    def logins(self):
        """(login, catalog, password, accepted) of every login attempt, in order."""
        return [(e.get('login'), e.get('catalog'), e.get('password'), e.get('accepted'))
                for e in self.events('login')]

    def state(self):
        with open(self.standin.state_path) as f:
            return json.load(f)

    # -- the credentials dialog of the run --

    def wait_dialog(self, timeout=60):
        return self.session.wait_window('the credentials dialog', timeout, caption=CAPTION, visible=True)

    def type_pair(self, user, pwd):
        """From the dialog as it comes up (focus on OK): the login field, the password field."""
        self.session.keys(CAPTION, 'Tab', 'Tab')
        self.session.xdotool(['type', '--delay', '30', user])
        self.session.keys(CAPTION, 'Tab')
        self.session.xdotool(['type', '--delay', '30', pwd])

    def on_screen(self):
        """Captions and texts of every visible window of the program and their controls."""
        texts = []
        for w in self.session.windows(exe='Setup.exe'):
            if w['visible']:
                texts.append(w['caption'])
                texts += [c['caption'] for c in w['children'] if c['visible']]
        return texts


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
