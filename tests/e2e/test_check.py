#!/usr/bin/python3
"""check-upgrade.exe under Wine, copied beside Setup.exe as a distribution system's package holds
it: the exit code it ends with (read whole through launch.exe --code, since Wine hands a Unix
parent only its low 8 bits), its line on standard output, and the log and the server's journal
after it, for each way a run can end and for the detection rule."""

import os
import shutil

from harness import smoke, wait_until
from fixtures import (BANNER, CATALOGS, CLOSING, FROM_FINISHED, NO_DATABASE_WORK, RUN_SETUP, UNSEEN_DESKTOP,
                      RunTestCase, fail, hold_guard_as_another_account, rollback, success, world)

LOG = '; log: {log}'
USAGE = '; usage: check-upgrade.exe [--timeout SECONDS] | --detect'
LACKS = 'did not go through: its block lacks " - Success update table structure(s) for %s"'
HELD = 'another copy of the upgrade holds its guard: nothing started; try again later' + LOG
BATCH_FAILS = world(ZANT_Backup={'faults': ['batch_error']})
FAILED = [BANNER, RUN_SETUP, success('ZANT'), fail('ZANT_Backup'), rollback('ZANT_Backup')] + CLOSING


class CheckUpgrade(RunTestCase):

    @smoke
    def test_exit_code_line_and_log_of_each_end(self):
        # (name, in the smoke set, stand-in state, runner settings, what happens before, the
        # tool's arguments, desktop, exit code, its line, the log after it (None: no log and no
        # log folder), whether Setup.exe logged in during the check)
        good = self.full_run
        rows = [
            ('good_run', True, world(), {}, None, [], None, 0, 'the run went through' + LOG, good, True),
            ('login_refused_unseen', False, world(logins={}), {}, None, [], UNSEEN_DESKTOP, 1,
             'the run ' + LACKS % CATALOGS[0] + LOG, NO_DATABASE_WORK, True),
            ('catalog_fails', False, BATCH_FAILS, {}, None, [], UNSEEN_DESKTOP, 1,
             'the run ' + LACKS % CATALOGS[1] + LOG, FAILED, True),
            ('runner_still_works', False, world(), dict(delay_ms=15000), 'killed_copy', [], None, 1618, HELD,
             lambda inst: good(inst)[:-len(FROM_FINISHED)], False),
            ('limit_shorter_than_the_runner', False, world(), dict(delay_ms=12000), None, ['--timeout', '4'], None,
             1460, 'Setup.exe has not ended within 4 seconds; it is left running' + LOG, good, True),
            ('detect_after_good_run', False, world(), {}, 'run', ['--detect'], None, 0,
             'the last run went through' + LOG, good, False),
            ('detect_after_failed_run', False, BATCH_FAILS, {}, 'run', ['--detect'], None, 1,
             'the last run ' + LACKS % CATALOGS[1] + LOG, FAILED, False),
            ('detect_without_log', False, world(), {}, None, ['--detect'], None, 1,
             'no log: no run went through' + LOG, None, False),
            ('unknown_option', True, world(), {}, None, ['--wait'], None, 1, 'unknown option "--wait"' + USAGE,
             None, False),
            ('time_not_a_number', False, world(), {}, None, ['--timeout', '10m'], None, 1,
             '--timeout takes a whole number of seconds from 1 to 4294967, not "10m"' + USAGE, None, False),
            ('other_account_holds_the_guard', True, world(), {}, 'other_account', [], None, 1618, HELD, None, False),
            ('setup_missing', False, world(), {}, 'no_setup', [], None, 1, 'no Setup.exe beside check-upgrade.exe: {exe}',
             None, False),
        ]
        tool = os.path.join(self.session.build_dir, 'check-upgrade.exe')
        for name, in_smoke, state, runner, before, args, desktop, code, line, lines, logs_in in rows:
            if self.session.smoke_only and not in_smoke:
                continue
            with self.subTest(name):
                inst = self.installation(state, 'check_' + name, **runner)
                exe = inst.app_path + 'check-upgrade.exe'
                shutil.copy(tool, inst.sc.unix(exe))
                if before == 'killed_copy':
                    first = inst.start()
                    wait_until('the runner to start', 90, lambda: inst.sc.exists(inst.record))
                    first.kill()
                elif before == 'run':
                    inst.start(desktop=UNSEEN_DESKTOP)
                    self.assertEqual(inst.program.wait(60), 0)
                elif before == 'other_account':
                    hold_guard_as_another_account(self)
                elif before == 'no_setup':
                    os.remove(inst.sc.unix(inst.exe))
                logins = inst.logins()

                code_file, out = inst.sc.path('check-code.txt'), inst.sc.path('check-out.txt')
                with open(inst.sc.unix(out), 'wb') as f:
                    launcher = inst.start(exe, desktop=desktop, args=args, code=code_file, stdout=f)
                wait_until('check-upgrade to end', 120,
                           lambda: inst.sc.exists(code_file) and inst.sc.read(code_file).endswith(b'\n'))
                self.assertEqual(int(inst.sc.read(code_file)), code)
                if code == 1460:
                    # Left running, the run goes on after the check and ends by itself.
                    self.assertTrue(launcher.running(), 'Setup.exe ended with the check')
                    self.assertFalse(inst.sc.exists(inst.facts), 'the runner ended within the limit')
                self.assertEqual(launcher.wait(60), code & 0xff)
                if before == 'killed_copy':
                    wait_until('the runner to end', 30, lambda: inst.sc.exists(inst.facts))
                said = line.format(log=inst.log_path, exe=inst.exe)
                self.assertEqual(inst.sc.read(out).decode('cp1252'), '%d: %s\r\n' % (code, said))
                lines = lines(inst) if callable(lines) else lines
                if lines is None:
                    self.assertFalse(inst.sc.exists(inst.log_path), 'a log written')
                    self.assertFalse(inst.sc.exists(inst.sc.path('Log')), 'the log folder made')
                else:
                    inst.assert_log(lines)
                self.assertEqual(len(inst.logins()) > len(logins), logs_in, 'Setup.exe logged in (or not)')


if __name__ == '__main__':
    import sys
    import harness
    sys.exit(harness.run_modules([os.path.splitext(os.path.basename(__file__))[0]]))
