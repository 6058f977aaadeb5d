"""What the end-to-end scenarios share, above harness.py: the release's texts on screen and in
the log, the stand-in's world, an installation to run the program in, and the bases of the
scenario classes. The test_*.py files and the scripts take what they share from here and
harness.py only, never from one another.

Installation: a scenario tree with the program, the installation key pointing at a stand-in of
its own, and the package runner stand-in in LocalPath."""

import datetime
import json
import os
import shutil
import time

from harness import (REG_SZ, E2ETestCase, Holder, Standin, build_dir_from_environment, child, ready_for_input,
                     release_label, wait_until)

RELEASE = release_label(build_dir_from_environment())
TITLE = 'Setup'                              # the application title of Setup.exe
MAIN_CAPTION = 'Upgrade ' + RELEASE           # also the name of the single-instance guard
LABEL = 'Upgrade now. Please wait...'
CAPTION = RELEASE + ' Upgrade'               # the credentials dialog
LOG_NAME = RELEASE + '.log'                  # in the Log folder beside LocalPath's folder
PACKAGE_FILE = RELEASE + '.dts'              # in LocalPath
CATALOGS = ['ZANT', 'ZANT_Backup', 'ZANT_model']
BUILT_IN = ('pallado_user', 'vermilion')
NO_SERVER = '127.0.0.1,1'                    # nothing listens there: a login fails at once
SCREEN_CENTRE = (640, 512)
UNSEEN_DESKTOP = 'Service-0x0-3e7$\\Default'   # a service's window station, which nobody sees
REGISTRY_ERROR_START = 'Error in reading registry. '
REGISTRY_ERROR = REGISTRY_ERROR_START + "Invalid data type for '%s'"

# The credentials dialog's design: control ids, and client-area places at 96 dots per inch
# (left, top, width, height).
EDIT_USER, EDIT_PWD, IDOK, IDCANCEL = 101, 102, 1, 2
LABELS = [
    ('Please enter system administrator password for SQL server', (13, 14, 275, 13)),
    ('Login:', (16, 44, 29, 13)),
    ('Password:', (16, 68, 49, 13)),
]
CONTROLS = [
    (EDIT_USER, (88, 40, 193, 21)),
    (EDIT_PWD, (88, 64, 193, 21)),
    (IDOK, (112, 102, 75, 25)),
    (IDCANCEL, (200, 102, 75, 25)),
]

# ---------------------------------------------------------------------------------------------
# Log lines, '{stamp}' standing for a time stamp (harness.log_pattern).

BANNER = '-------------------------------  ' + RELEASE + '  -------------------------------'
RUN_SETUP = '{stamp} - Run Setup.exe for ' + RELEASE
CLOSING = ['{stamp} - Exit Setup.exe for ' + RELEASE, '~ ' + RELEASE + '  --- finish update ---', ' ']
FINISHED = '{stamp} - Finished to invoke DTS file for ' + RELEASE
PACKAGE = ['{stamp} - Preparing to invoke DTS file for ' + RELEASE, FINISHED]


def success(catalog):
    return '{stamp} - Success update table structure(s) for ' + catalog


def fail(catalog):
    return '{stamp} - Fail update table structure(s) for ' + catalog


def rollback(catalog):
    return '{stamp} - Rollback for updating table structure(s) for ' + catalog


ALL_SUCCEED = [BANNER, RUN_SETUP] + [success(c) for c in CATALOGS] + PACKAGE + CLOSING
NO_DATABASE_WORK = [BANNER, RUN_SETUP] + CLOSING
RUN_LINES = NO_DATABASE_WORK     # a run whose server does not answer and whose dialog is cancelled
UP_TO_PREPARING = ALL_SUCCEED[:ALL_SUCCEED.index(FINISHED)]
FROM_FINISHED = ALL_SUCCEED[ALL_SUCCEED.index(FINISHED):]


# ---------------------------------------------------------------------------------------------
# The server's side of a run (Installation.events).

COMMITTED = ['connect', 'login', 'begin', 'batch applied', 'commit ok', 'disconnect']
ROLLED_BACK = ['connect', 'login', 'begin', 'batch error', 'rollback ok', 'disconnect']


def catalog_events(inst, catalog):
    """Events of every connection made to catalog, in order, with the outcome of batches, commits
    and rollbacks; the same at either TDS level. Left out: the server's own rollback at disconnect
    of a transaction that holds no change (with autocommit off the driver chains a new, empty
    transaction to each commit)."""
    conns = {e['conn'] for e in inst.events('login', catalog=catalog)}
    out = []
    for e in inst.events():
        if e.get('conn') not in conns:
            continue
        if e['event'] == 'rollback' and e.get('cause') == 'disconnect':
            if e['discarded_changes']:
                out.append('rollback at disconnect, changes discarded')
        elif e['event'] == 'rollback' and e.get('how') == 'server':
            out.append('rollback by the server')
        elif e['event'] in ('batch', 'commit', 'rollback'):
            out.append('%s %s' % (e['event'], e['outcome']))
        else:
            out.append(e['event'])
    return out


# ---------------------------------------------------------------------------------------------
# Times.

def journal_time(event):
    """Epoch seconds of a stand-in journal event."""
    t = datetime.datetime.strptime(event['time'], '%Y-%m-%dT%H:%M:%S.%fZ')
    return t.replace(tzinfo=datetime.timezone.utc).timestamp()


def day_number(date):
    return (date - datetime.date(1899, 12, 30)).days


def hold_guard_as_another_account(test):
    """holder.exe holding the guard through a security descriptor that admits only the system
    account, as another account's copy holds it: this account cannot open it. Released at the
    test's end."""
    holder = Holder(test.session, '--mutex', MAIN_CAPTION, 'D:(A;;GA;;;SY)')
    test.addCleanup(holder.release)
    return holder


def package_argument(path):
    """The package file's path as the runner's command line gives it: quoted when a blank would
    split it."""
    return '"%s"' % path if ' ' in path or '\t' in path else path


# ---------------------------------------------------------------------------------------------
# The program's windows as the operator meets them: up, foreground, active, the focus placed
# (harness.ready_for_input). A scenario checks or types into a window only after these waits.

def wait_dialog(session, timeout=60):
    return session.wait_ready('the credentials dialog', timeout, caption=CAPTION)


def wait_box(session, what, caption, timeout=90, exe='Setup.exe'):
    """A message box (class #32770) of exe (None: of any program)."""
    return session.wait_ready(what, timeout, exe=exe, cls='#32770', caption=caption)


def wait_main_window(session, what='the main window on screen', timeout=30, exe='Setup.exe', **match):
    return session.wait_ready(what, timeout, exe=exe, cls='TForm1', **match)


# ---------------------------------------------------------------------------------------------
# The stand-in's world and an installation against it.

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
    (so the log is C:\\e2e\\<name>\\Log\\<LOG_NAME>), and a stand-in with the given state."""

    def __init__(self, test, state, name=None):
        self.test = test
        self.session = test.session
        self.sc = test.scenario(name)
        self.exe = self.sc.install()
        self.local = self.sc.path('Local')
        self.sc.mkdir(self.local)
        self.sc.mkdir(self.sc.path('Server'))
        self.log_path = self.sc.path('Log\\' + LOG_NAME)
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

    def start(self, exe=None, **how):
        """Starts the program, or exe beside it (how: Scenario.start's options)."""
        self.started = time.time()
        self.first_started = getattr(self, 'first_started', self.started)
        self.program = self.sc.start(exe or self.exe, **how)
        return self.program

    def run_to_end(self, timeout=120, **how):
        """Starts the program (how: as start's) and waits for it to end by itself; checks exit
        code 0."""
        self.start(**how)
        self.test.assertEqual(self.program.wait(timeout), 0)
        self.ended = time.time()

    def log(self):
        return self.sc.read(self.log_path) if self.sc.exists(self.log_path) else b''

    def assert_log(self, lines):
        """The whole log, of every run of this installation, is lines."""
        return self.test.assertLog(self.log(), lines, since=self.first_started, until=time.time())

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
        return wait_dialog(self.session, timeout)

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


# ---------------------------------------------------------------------------------------------
# Bases of scenario classes (no scenarios of their own).

class TableTestCase(E2ETestCase):
    """Scenarios that walk a table of rows."""

    def rows(self, rows):
        """A table's rows; the smoke set runs only the first."""
        return rows[:1] if self.session.smoke_only else rows


class SpineTestCase(TableTestCase):
    """The program on its own, without a stand-in: an installation whose server does not answer,
    a run to its end, the stop box and the main window left open after a settings failure."""

    def write_installation(self, sc, earlier_log=None):
        """The key of an installation in Prog\\Client whose server does not answer; with
        earlier_log, its log already holds those bytes. Returns the log's Windows path."""
        sc.write_key([('ServerPath', REG_SZ, sc.path('Server')), ('LocalPath', REG_SZ, sc.path('Prog\\Client')),
                      ('Pallado_Connection', REG_SZ, NO_SERVER)])
        log_file = sc.path('Prog\\Log\\' + LOG_NAME)
        if earlier_log is not None:
            sc.mkdir(sc.path('Prog\\Log'))
            with open(sc.unix(log_file), 'wb') as f:
                f.write(earlier_log)
        return log_file

    def run_through(self, sc, program, exe_name='Setup.exe', timeout=30):
        """Waits for a program that ends by itself; cancels the credentials dialog if it shows.
        Returns the exit code."""
        def probe():
            if not program.running():
                return True
            for w in self.session.windows(exe=exe_name, settle=True):
                if w['caption'] == CAPTION and ready_for_input(w):
                    self.session.keys(w, 'Escape')
            return False
        try:
            wait_until('the program to end by itself', timeout, probe, interval=0.2)
        except AssertionError:
            shown = [(w['class'], w['caption'], w['visible']) for w in self.session.windows(exe=exe_name)]
            self.fail('program did not end by itself; its windows: %r' % shown)
        return program.proc.returncode

    def wait_stop_box(self, caption, text):
        """Waits for the stop box; checks its caption, text, single default OK button and stop icon."""
        box = wait_box(self.session, 'the stop box', caption, 20, exe=None)
        self.assertEqual(child(box, id=65535)['caption'], text)
        buttons = [c for c in box['children'] if c['class'] == 'Button']
        self.assertEqual([(b['id'], b['caption'], b['default_button']) for b in buttons], [(1, 'OK', True)])
        icon = child(box, id=1088)
        self.assertIsNotNone(icon, 'stop box without an icon')
        # The stop icon is the red one (information and question are blue, warning is yellow).
        wait_until('the stop icon to be painted', 5, lambda: sum(
            1 for r, g, b in self.session.screen_pixels(icon['rect']) if r > 160 and g < 90 and b < 90) > 100)
        return box

    def close_main_window(self, program, main):
        """The operator closes the main window left open after a failure (Alt+F4); exit code 0."""
        self.session.keys(main, 'alt+F4')
        self.assertEqual(program.wait(15), 0)


class RunTestCase(E2ETestCase):
    """Whole runs against a stand-in: an Installation with the runner stand-in configured, the
    operator answering the windows, and the error box of a failed catalog."""

    def installation(self, state=None, name=None, app_folder=None, **runner):
        """An Installation, the program in app_folder when given, and the runner stand-in
        configured with runner (delay_ms, exit_code, report) and files to record in."""
        inst = Installation(self, world() if state is None else state, name)
        if app_folder:
            inst.exe = inst.sc.install(folder=app_folder)
        inst.app_path = inst.exe.rsplit('\\', 1)[0] + '\\'
        inst.record = inst.sc.path('runner-command-line.txt')
        inst.facts = inst.sc.path('runner-facts.txt')
        config = dict({'delay_ms': 0, 'exit_code': 0, 'report': 'crlf'}, record=inst.record, facts=inst.facts,
                      **runner)
        with open(inst.sc.unix(inst.local + '\\dtsrun.cfg'), 'w', newline='') as f:
            f.write(''.join('%s=%s\r\n' % kv for kv in config.items()))
        return inst

    @staticmethod
    def full_run(inst, exit_code=0):
        """A whole successful run's lines, the runner's report between Preparing and Finished."""
        return UP_TO_PREPARING + ['dtsrun stand-in: report to ' + inst.log_path,
                                  'dtsrun stand-in: exit code %d' % exit_code] + FROM_FINISHED

    def answer(self, inst, window, key):
        """Waits for window ('dialog', 'error' box, 'stop' box or 'main' window) and presses key
        in it; for the dialog, key may be a (login, password) pair to type and confirm."""
        s = self.session
        if window == 'dialog':
            inst.wait_dialog()
            if isinstance(key, tuple):
                inst.type_pair(*key)
                key = 'Return'
            s.keys(CAPTION, key)
        elif window == 'error':
            wait_box(s, 'the error box', 'Error')
            s.keys('Error', key)
        elif window == 'stop':
            box = wait_box(s, 'the stop box', TITLE, 30)
            self.assertTrue(child(box, id=65535)['caption'].startswith(REGISTRY_ERROR_START))
            s.keys(box, key)
        else:
            main = wait_main_window(s)
            s.keys(main, key)

    def wait_error_box(self, inst):
        """The error box, checked; returns it (still up)."""
        box = self.session.wait_ready('the error box', 90, exe='Setup.exe', caption='Error')
        self.assertEqual(box['class'], '#32770')
        self.assertEqual(child(box, id=65535)['caption'], 'Upgrade fail for ' + RELEASE + '!')
        self.assertIsNotNone(child(box, id=1088), 'the error icon')
        buttons = [c for c in box['children'] if c['class'].lower() == 'button']
        self.assertEqual([(b['caption'], b['default_button']) for b in buttons], [('OK', True)])
        l, t, r, b = box['rect']
        self.assertLessEqual(abs((l + r) / 2 - SCREEN_CENTRE[0]), 1, 'centred on the screen')
        self.assertLessEqual(abs((t + b) / 2 - SCREEN_CENTRE[1]), 1, 'centred on the screen')
        self.assert_owned_by_the_application(box)
        return box

    def assert_owned_by_the_application(self, box):
        """The program keeps its one taskbar entry: the box is owned by its application window."""
        app = [w['hwnd'] for w in self.session.windows(exe='Setup.exe') if w['class'] == 'UpgradeApp']
        self.assertEqual([box['owner']], app, 'a box with a taskbar entry of its own')

    def dismiss_error_box(self, inst, key='Return'):
        self.session.keys('Error', key)
        self.assertEqual(inst.program.wait(60), 0)
