#!/usr/bin/python3
"""Whole runs of the program under Wine, from the settings to the closing lines, against the SQL
Server stand-in and with the package runner stand-in dtsrun.exe in LocalPath: where the runner's
report lands in the log, the runner's exact command line, a runner that is missing, ends with
any code or takes its time, and the runs that stop before the runner and must not start it.

The runner stand-in records its command line and its start and end (ms since 1970) in files of
the scenario, and appends its report (two lines naming its log file and exit code) to the file
given with /L."""

import datetime
import os
import re
import shutil
import time

from harness import REG_MULTI_SZ, REG_SZ, child, smoke, unix_to_z, wait_until
from fixtures import (ALL_SUCCEED, LOG_NAME, PACKAGE_FILE, BANNER, BUILT_IN, CATALOGS, CLOSING, COMMITTED, FROM_FINISHED, NO_DATABASE_WORK, ROLLED_BACK,
                      RUN_SETUP, TITLE, UNSEEN_DESKTOP, UP_TO_PREPARING, RunTestCase, catalog_events, day_number, fail,
                      journal_time, package_argument, rollback, success, wait_box, world)

PACKAGE_LETTER = 'q'         # the password the release's package file was saved with
PREPARING_AT, FINISHED_AT = 4, 5     # indexes of their stamps among a full run's stamps
SW_SHOWMINNOACTIVE = 7


def unreadable_key(inst):
    """The installation's key with a value of another type, Pallado_Connection (the stop box)."""
    return [('ServerPath', REG_SZ, inst.sc.path('Server')), ('LocalPath', REG_SZ, inst.local),
            ('Pallado_Connection', REG_MULTI_SZ, inst.standin.server.encode() + b'\0\0')]


class Run(RunTestCase):

    # -- the runner's facts, pkgprobe --

    def runner_facts(self, inst):
        """started, ended (ms since 1970) and console (1: a console of its own) of the runner."""
        text = inst.sc.read(inst.facts).decode()
        return {k: int(v) for k, v in (line.split('=', 1) for line in text.split('\r\n') if line)}

    def pkgprobe(self, *args):
        exe = os.path.join(self.session.build_dir, 'tests', 'support', 'pkgprobe', 'pkgprobe.exe')
        return self.session.wine([unix_to_z(exe)] + list(args), bits=self.session.bits)

    # -- checks --

    def assert_command_line(self, inst, user, pwd):
        """The recorded command line, element by element (a difference names its element): the
        installation's folders, the stand-in's server, the pair in use, today's day number."""
        recorded = inst.sc.read(inst.record).decode('cp1252')
        days = sorted({day_number(datetime.date.fromtimestamp(t)) for t in (inst.started, time.time())})
        day = next((d for d in days if ' /A UpgDate:8="%d" ' % d in recorded), days[0])
        expected = [
            '/F ' + package_argument(inst.app_path + PACKAGE_FILE),
            '/M ' + PACKAGE_LETTER,
            '/L "%s"' % inst.log_path,
            '/W "0"',
            '/A AppPath:8="%s"' % inst.app_path,
            '/A ServerPath:8="%s"' % inst.sc.path('Server\\'),
            '/A LocalPath:8="%s"' % (inst.local + '\\'),
            '/A PalladoConnection:8="%s"' % inst.standin.server,
            '/A DBPwd:8="%s"' % pwd,
            '/A UpgDate:8="%d"' % day,
            '/A MDBLocation:8="Zant.mdb"',
            '/A DBUser:8="%s"' % user,
        ]
        rest = recorded
        for element in expected:
            self.assertTrue(rest.startswith(' ' + element), 'expected %r, found %r' % (' ' + element, rest))
            rest = rest[len(element) + 1:]
        self.assertEqual(rest, '', 'nothing after the last element')

    # -- scenarios --

    @smoke
    def test_everything_succeeds_with_the_report_between_preparing_and_finished(self):
        inst = self.installation(app_folder='Program Files\\Up grade')
        with open(inst.sc.unix(inst.app_path + PACKAGE_FILE), 'wb') as f:
            f.write(b'package')
        inst.run_to_end()
        stamps = inst.assert_log(self.full_run(inst))
        self.assert_command_line(inst, *BUILT_IN)
        facts = self.runner_facts(inst)
        self.assertEqual(facts['console'], 1, 'the runner has a console of its own')
        self.assertEqual(facts['package'], 1, 'the runner finds the package beside the program')
        # Started after the last catalog's commit and the Preparing line; Finished after its end
        # (stamps are whole seconds).
        self.assertGreater(facts['started'] / 1000, max(journal_time(e) for e in inst.events('commit')))
        self.assertLessEqual(stamps[PREPARING_AT], facts['started'] / 1000)
        self.assertGreater(stamps[FINISHED_AT] + 1, facts['ended'] / 1000)

    def test_typed_pair_with_a_quote_and_a_space_reaches_the_runner_as_typed(self):
        user, pwd = 'op user', 'pa"ss word'
        inst = self.installation(world(logins={user: pwd}))
        inst.start()
        self.answer(inst, 'dialog', (user, pwd))
        self.assertEqual(inst.program.wait(120), 0)
        inst.assert_log(self.full_run(inst))
        self.assert_command_line(inst, user, pwd)

    def test_runner_ending_otherwise_leads_to_the_same_lines(self):
        # However the runner ends its report and whatever its exit code (259 included, the code
        # of a running process), the run goes on once it has ended, and the next line written
        # makes every line end of the file CR LF and starts a line of its own.
        for report, code in (('lf', 1), ('nofinal', 259)):
            with self.subTest(report=report, exit_code=code):
                inst = self.installation(name='runner_ends_%s_%d' % (report, code), delay_ms=1000,
                                         exit_code=code, report=report)
                inst.run_to_end(timeout=60)
                self.assertIsNone(re.search(rb'\r(?!\n)|(?<!\r)\n', inst.log()), 'a line end other than CR LF')
                inst.assert_log(self.full_run(inst, code))

    @smoke
    def test_missing_runner_shows_the_system_text_then_the_run_ends(self):
        inst = self.installation()
        os.remove(inst.sc.unix(inst.local + '\\dtsrun.exe'))
        text_path = inst.sc.path('system-text-2.txt')
        self.pkgprobe('sysmsg', '2', text_path)      # what FormatMessageA gives here, now
        system_text = inst.sc.read(text_path).decode('cp1252')
        inst.start()
        box = wait_box(self.session, 'the box of the failed start', TITLE)
        self.assertEqual(child(box, id=65535)['caption'], system_text)
        buttons = [(c['id'], c['caption']) for c in box['children'] if c['class'].lower() == 'button' and c['visible']]
        self.assertEqual(buttons, [(1, 'OK')])
        self.assert_owned_by_the_application(box)
        shown = self.pkgprobe('boxes', TITLE).decode()
        self.assertEqual(shown.count('"box"'), 1, shown)
        self.assertNotIn('"icon": true', shown, 'the box shows an icon')
        # The run waits for the operator, nothing logged after Preparing.
        self.assertTrue(inst.program.running())
        inst.assert_log(UP_TO_PREPARING)

        self.session.keys(box, 'Return')
        self.assertEqual(inst.program.wait(60), 0)
        inst.assert_log(UP_TO_PREPARING + CLOSING)   # no Finished line for a runner never started

    def test_end_of_a_five_second_runner_is_logged_within_a_second(self):
        inst = self.installation(delay_ms=5000)
        inst.run_to_end()
        finished = inst.assert_log(self.full_run(inst))[FINISHED_AT]
        facts = self.runner_facts(inst)
        self.assertGreaterEqual(facts['ended'] - facts['started'], 5000)
        ended = facts['ended'] / 1000
        print('runner ended at %.3f, Finished stamped %d' % (ended, finished))
        # The line was written within [finished, finished + 1).
        self.assertGreater(finished + 1, ended, 'Finished before the runner ended')
        self.assertLess(finished - ended, 1, 'Finished more than a second after the runner ended')

    def test_runs_that_stop_before_the_package_never_start_the_runner(self):
        # (name, stand-in state, key or None for the installation's, what the operator does,
        # the log or None for no file). The exact log shows the run took the intended way.
        rows = [
            ('dialog_cancelled', world(logins={}), None, [('dialog', 'Escape')], NO_DATABASE_WORK),
            ('second_catalog_fails', world(ZANT_Backup={'faults': ['batch_error']}), None, [('error', 'Return')],
             [BANNER, RUN_SETUP, success('ZANT'), fail('ZANT_Backup'), rollback('ZANT_Backup')] + CLOSING),
            ('first_catalog_not_opened', world(ZANT={'faults': ['unknown_catalog']}), None, [('error', 'Return')],
             [BANNER, RUN_SETUP, fail('ZANT')] + CLOSING),
            ('settings_unreadable', world(), unreadable_key, [('stop', 'Return'), ('main', 'alt+F4')], None),
            # No key: the login test and the upgrade fail without a server; nothing is written.
            ('key_absent', world(), lambda inst: None, [('dialog', ('sa', 'secret')), ('error', 'Return')], None),
        ]
        for name, state, key, steps, lines in rows:
            with self.subTest(name):
                inst = self.installation(state, 'early_' + name)
                if key:
                    inst.sc.write_key(key(inst))
                before = self.drive_files()
                inst.start()
                for window, answer in steps:
                    self.answer(inst, window, answer)
                self.assertEqual(inst.program.wait(60), 0)
                self.assertFalse(inst.sc.exists(inst.record), 'the runner was started')
                if lines is None:
                    self.assertEqual(self.drive_files(), before, 'files made')
                else:
                    inst.assert_log(lines)

    @smoke
    def test_runs_nobody_can_see_end_by_themselves_as_the_attended_ones_answered(self):
        # On a service's window station: the dialog counts as cancelled, a box as dismissed with
        # OK, a start minimised runs at once, a stopped run ends; all else as the attended run.
        # (name, in the smoke set, what differs from a good run, log (None: no file), logins'
        # (catalog, accepted), catalogs' events)
        committed = {c: COMMITTED for c in CATALOGS}
        all_logins = [('Pallado', True)] + [(c, True) for c in CATALOGS]
        rows = [
            ('login_refused', False, dict(state=world(logins={})), NO_DATABASE_WORK, [('Pallado', False)], {}),
            ('batch_fails', False, dict(state=world(ZANT_Backup={'faults': ['batch_error']})),
             [BANNER, RUN_SETUP, success('ZANT'), fail('ZANT_Backup'), rollback('ZANT_Backup')] + CLOSING,
             all_logins[:3], {'ZANT': COMMITTED, 'ZANT_Backup': ROLLED_BACK}),
            ('value_of_another_type', True, dict(key=unreadable_key), None, [], {}),
            ('runner_missing', True, dict(runner=False), UP_TO_PREPARING + CLOSING, all_logins, committed),
            ('minimised', True, dict(show=SW_SHOWMINNOACTIVE), self.full_run, all_logins, committed),
        ]
        for name, in_smoke, how, lines, logins, catalogs in rows:
            if self.session.smoke_only and not in_smoke:
                continue
            with self.subTest(name):
                inst = self.installation(how.get('state', world()), 'unseen_' + name)
                if 'key' in how:
                    inst.sc.write_key(how['key'](inst))
                if how.get('runner') is False:
                    os.remove(inst.sc.unix(inst.local + '\\dtsrun.exe'))
                before = self.drive_files()
                inst.start(show=how.get('show'), desktop=UNSEEN_DESKTOP)
                self.assertEqual(inst.program.wait(60), 0)
                lines = lines(inst) if callable(lines) else lines
                if lines is None:
                    self.assertEqual(self.drive_files(), before, 'files made')
                else:
                    inst.assert_log(lines)
                self.assertEqual(inst.sc.exists(inst.record), lines is not None and FROM_FINISHED[0] in lines,
                                 'the runner started (or not)')
                self.assertEqual(inst.logins(), [(BUILT_IN[0], c, BUILT_IN[1], ok) for c, ok in logins])
                self.assertEqual({c: catalog_events(inst, c) for c in CATALOGS},
                                 {c: catalogs.get(c, []) for c in CATALOGS})

    def test_guard_outlives_a_killed_copy_while_its_runner_works(self):
        inst = self.installation(delay_ms=15000)
        first = inst.start()
        wait_until('the runner to start', 90, lambda: inst.sc.exists(inst.record))
        first.kill()
        logins = inst.logins()

        second = inst.start()
        self.assertEqual(second.wait(20), 0)
        self.assertFalse(inst.sc.exists(inst.facts), 'the runner ended before the second copy did')
        self.assertEqual(inst.logins(), logins, 'the second copy logged in')
        # One runner's report, after the killed copy's lines; nothing of the second copy.
        wait_until('the runner to end', 30, lambda: inst.sc.exists(inst.facts))
        inst.assert_log(self.full_run(inst)[:-len(FROM_FINISHED)])

    def drive_files(self):
        """Every file and folder of drive C: outside Wine's own windows folder."""
        top = self.session.drive_c
        found = set()
        for folder, dirs, names in os.walk(top):
            if folder == top:
                dirs.remove('windows')
            found.update(os.path.relpath(os.path.join(folder, n), top) for n in dirs + names)
        return found


OTHER = 'Other\\file.txt'          # a file outside the log folder
LF_REPORT = b'runner report\n'     # a log whose next line is written by a rewrite


def tree(path):
    """What a file, link or folder holds, no link followed: its bytes, ('link', target), or a dict
    of its entries; None when there is nothing."""
    if os.path.islink(path):
        return ('link', os.readlink(path))
    if os.path.isdir(path):
        return {n: tree(os.path.join(path, n)) for n in os.listdir(path)}
    if not os.path.exists(path):
        return None
    with open(path, 'rb') as f:
        return f.read()


def put(inst, win_path, content):
    """A file holding content at win_path, its folder made; returns win_path."""
    inst.sc.mkdir(win_path.rsplit('\\', 1)[0])
    with open(inst.sc.unix(win_path), 'wb') as f:
        f.write(content)
    return win_path


def link(inst, at, to, hard=False):
    """at a symbolic link to to (or a hard link), both Windows paths, the folders of both made."""
    for folder in (at, to):
        inst.sc.mkdir(folder.rsplit('\\', 1)[0])
    (os.link if hard else os.symlink)(inst.sc.unix(to), inst.sc.unix(at))


def odbc32_beside_the_program(inst):
    """A DLL named as one the program uses, beside it: its DllMain would leave a file there."""
    planted = os.path.join(inst.test.session.build_dir, 'tests', 'support', 'planted_odbc', 'odbc32.dll')
    shutil.copy(planted, inst.sc.unix(inst.app_path + 'odbc32.dll'))


def installation_behind_a_link(inst):
    """LocalPath reached through a link above its parent, as an installation moved to another
    drive: Linked a link to Moved, LocalPath Linked\\Inst\\Local."""
    local = inst.sc.path('Linked\\Inst\\Local')
    inst.sc.mkdir(inst.sc.path('Moved\\Inst'))
    link(inst, inst.sc.path('Linked'), inst.sc.path('Moved'))
    os.rename(inst.sc.unix(inst.local), inst.sc.unix(local))
    inst.sc.write_key([('ServerPath', REG_SZ, inst.sc.path('Server\\')), ('LocalPath', REG_SZ, local + '\\'),
                       ('Pallado_Connection', REG_SZ, inst.standin.server)])
    inst.local, inst.log_path = local, inst.sc.path('Linked\\Inst\\Log\\' + LOG_NAME)


class ChangedByAUser(RunTestCase):
    # A user who may change the log folder turns the log, the new file beside it (its name with
    # the last character made '~') or the folder itself into a link, which Wine's symbolic links
    # model. Nothing is read or written through it: the other file or folder keeps its bytes, the
    # log folder stays as it was, and the run ends as with a log it cannot open. The new file's
    # name taken costs the rewrite only: the lines go to the log's end. A link above the log
    # folder is the administrator's and keeps every line. A user who may write beside the program
    # puts a DLL there under the name of one it uses: it is never loaded.
    # (name, in the smoke set, set-up, environment added for the program, the scenario's folders
    # that must keep their bytes, the log afterwards as (bytes before, lines), or None for the log
    # folder as the set-up left it)
    ROWS = [
        ('log_link_crlf', False, lambda i: link(i, i.log_path, put(i, i.sc.path(OTHER), b'admin\r\n')), None,
         ['Other'], None),
        ('log_link_lf_password', True,
         lambda i: link(i, i.log_path, put(i, i.sc.path(OTHER), b'password=vermilion\nserver=main\n')), None,
         ['Other'], None),
        ('log_hard_link', False, lambda i: link(i, i.log_path, put(i, i.sc.path(OTHER), b'start\r\n'), hard=True),
         None, ['Other'], None),
        ('new_file_name_a_link', True,
         lambda i: link(i, put(i, i.log_path, LF_REPORT)[:-1] + '~', put(i, i.sc.path(OTHER), b'script\r\n')),
         None, ['Other'], (LF_REPORT, ALL_SUCCEED)),
        ('new_file_name_a_link_to_nothing', False,
         lambda i: link(i, put(i, i.log_path, LF_REPORT)[:-1] + '~', i.sc.path('Startup\\run.cmd')), None,
         ['Startup'], (LF_REPORT, ALL_SUCCEED)),
        ('log_folder_a_link', True,
         lambda i: link(i, i.sc.path('Log'), put(i, i.sc.path(OTHER), b'kept\r\n').rsplit('\\', 1)[0]), None,
         ['Other'], None),
        ('installation_behind_a_link', True, installation_behind_a_link, None, [], (b'', ALL_SUCCEED)),
        # Windows' search order (Wine prefers its builtin DLLs unless told otherwise)
        ('odbc32_beside_the_program', True, odbc32_beside_the_program, {'WINEDLLOVERRIDES': 'odbc32=n,b'}, ['Prog'],
         (b'', ALL_SUCCEED)),
    ]

    @smoke
    def test_nothing_a_user_changed_is_loaded_read_or_written(self):
        for name, in_smoke, set_up, env, kept, log in self.ROWS:
            if self.session.smoke_only and not in_smoke:
                continue
            with self.subTest(name):
                inst = self.installation(name='tampered_' + name, report='none')
                set_up(inst)
                log_dir = inst.sc.unix(inst.log_path.rsplit('\\', 1)[0])

                def unchanged():
                    found = tree(log_dir)
                    beside = found if log is None else {n: t for n, t in (found or {}).items() if n != LOG_NAME}
                    return [tree(inst.sc.unix(inst.sc.path(p))) for p in kept], beside
                before = unchanged()
                inst.start(env=env)
                self.assertEqual(inst.program.wait(120), 0)
                self.assertEqual(unchanged(), before, 'the other files, or the log folder beside the log')
                if log is not None:
                    data = inst.log()
                    self.assertEqual(data[:len(log[0])], log[0])
                    self.assertLog(data[len(log[0]):], log[1], inst.started, time.time())
                self.assertEqual({c: catalog_events(inst, c) for c in CATALOGS}, {c: COMMITTED for c in CATALOGS})
                self.assertTrue(inst.sc.exists(inst.facts), 'the runner ran to its end')


if __name__ == '__main__':
    import sys
    import harness
    sys.exit(harness.run_modules([os.path.splitext(os.path.basename(__file__))[0]]))
