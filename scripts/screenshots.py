#!/usr/bin/python3
"""The pictures of docs/operations.md, taken from real runs: Setup.exe under Wine against the SQL
Server stand-in, in the situations the guide describes, each set up as the end-to-end scenarios
set it up. Every window is cropped to itself (frame and caption included) at 96 dpi with the
fonts the harness puts in the prefix, once two captures in a row match. A picture whose pixels
have not changed is left as it is.

The upgrade log of every run goes to build/screenshots/logs/<situation>.log (not committed), for
the log examples of the guide.

usage: scripts/screenshots.py [SETUP.EXE]    (default: build/win32/Setup.exe, the release build)
"""
import os
import shutil
import sys
import tempfile
import time

SOURCE = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(SOURCE, 'tests', 'e2e'))
import harness  # noqa: E402
from harness import REG_MULTI_SZ, REG_SZ, check_quiet, child  # noqa: E402
from fixtures import (BANNER, CAPTION, CLOSING, NO_DATABASE_WORK, REGISTRY_ERROR, RUN_SETUP, TITLE,  # noqa: E402
                      UP_TO_PREPARING, RunTestCase, fail, rollback, success, wait_box, wait_main_window, world)

IMAGES = os.path.join(SOURCE, 'docs', 'images')
WORK = os.path.join(SOURCE, 'build', 'screenshots')
LOGS = os.path.join(WORK, 'logs')
# Where the bench installs the product, so that the paths a run writes look like a workstation's.
INSTALLATION = 'C:\\Program Files\\Quiln-Ostrel'


class Bench(RunTestCase):
    """The scenarios' set-up and checks, driven once per situation (not run as tests)."""

    def runTest(self):
        pass

    def scenario(self, name=None):
        sc = harness.Scenario(self.session, name, root=INSTALLATION)
        self.addCleanup(sc.close)
        return sc


# ---------------------------------------------------------------------------------------------
# Capturing.

def pixels(session, png):
    return check_quiet(['convert', png, '-depth', '8', 'rgb:-'], session.env(), 30)


def capture(session, window, name, timeout=20):
    """Writes docs/images/<name>.png: the window (as the inspector printed it) once painted."""
    wid = session.x_window(window)
    session.xdotool(['windowfocus', '--sync', wid])   # drawn active, as the operator sees it
    with tempfile.TemporaryDirectory() as tmp:
        shot = os.path.join(tmp, 'shot.png')
        previous = None
        deadline = time.monotonic() + timeout
        while True:
            time.sleep(0.3)
            session.screenshot(window['rect'], shot)
            now = pixels(session, shot)
            colours = int(check_quiet(['identify', '-format', '%k', shot], session.env(), 30))
            if now == previous and colours > 2:
                break
            if time.monotonic() > deadline:
                raise AssertionError('%s: no two matching captures of a painted window in %ss' % (name, timeout))
            previous = now
        # A palette PNG when it holds every pixel exactly (the classic look needs few colours).
        small = os.path.join(tmp, 'small.png')
        check_quiet(['convert', shot, '-strip', '-define', 'png:exclude-chunks=date,time', 'PNG8:' + small],
                    session.env(), 30)
        if pixels(session, small) != now:
            check_quiet(['convert', shot, '-strip', '-define', 'png:exclude-chunks=date,time', small],
                        session.env(), 30)
        target = os.path.join(IMAGES, name + '.png')
        size = check_quiet(['identify', '-format', '%wx%h', small], session.env(), 30).decode()
        if os.path.exists(target) and pixels(session, target) == now:
            harness.log('%s.png unchanged (%s)' % (name, size))
            return
        os.makedirs(IMAGES, exist_ok=True)
        shutil.copy(small, target)
        harness.log('%s.png written (%s, %d bytes)' % (name, size, os.path.getsize(target)))


def keep_log(inst, situation):
    """Copies the run's log (when there is one) to build/screenshots/logs/<situation>.log."""
    os.makedirs(LOGS, exist_ok=True)
    target = os.path.join(LOGS, situation + '.log')
    if os.path.exists(target):
        os.remove(target)
    data = inst.log()
    if inst.sc.exists(inst.log_path):
        with open(target, 'wb') as f:
            f.write(data)
    print('--- log of %s (%s) ---\n%s' % (situation, inst.log_path,
                                        data.decode('cp1252').replace('\r\n', '\n') if data else '(no file)'),
          flush=True)


# ---------------------------------------------------------------------------------------------
# The situations: what the operator sees and what the log says.

def completed_twice(bench):
    """A whole run with the runner's report in the log; then a second run on the widened catalogs."""
    inst = bench.installation(delay_ms=1500)
    inst.run_to_end()
    inst.assert_log(bench.full_run(inst))
    inst.run_to_end()
    inst.assert_log(bench.full_run(inst) * 2)
    keep_log(inst, 'completed_twice')


def dialog_cancelled(bench):
    inst = bench.installation(world(logins={}))
    inst.start()
    bench.answer(inst, 'dialog', 'Escape')
    bench.assertEqual(inst.program.wait(60), 0)
    inst.assert_log(NO_DATABASE_WORK)
    keep_log(inst, 'dialog_cancelled')


def wrong_pair_typed(bench):
    """The built-in login refused: the dialog, a pair typed (shown masked), and the first catalog
    refusing it."""
    inst = bench.installation(world(logins={'sa': 'right'}))
    inst.start()
    dialog = inst.wait_dialog()
    inst.type_pair('sa', 'wrong')
    capture(bench.session, dialog, 'credentials-dialog')
    bench.session.keys(CAPTION, 'Return')
    bench.wait_error_box(inst)
    bench.dismiss_error_box(inst)
    inst.assert_log([BANNER, RUN_SETUP, fail('ZANT')] + CLOSING)
    keep_log(inst, 'wrong_pair_typed')


def second_catalog_fails(bench):
    inst = bench.installation(world(ZANT_Backup={'faults': ['batch_error']}))
    inst.start()
    capture(bench.session, bench.wait_error_box(inst), 'error-box')
    bench.dismiss_error_box(inst)
    inst.assert_log([BANNER, RUN_SETUP, success('ZANT'), fail('ZANT_Backup'), rollback('ZANT_Backup')] + CLOSING)
    keep_log(inst, 'second_catalog_fails')


def runner_missing(bench):
    inst = bench.installation()
    os.remove(inst.sc.unix(inst.local + '\\dtsrun.exe'))
    inst.start()
    box = wait_box(bench.session, 'the box of the failed start', TITLE)
    capture(bench.session, box, 'runner-missing-box')
    bench.session.keys(box, 'Return')
    bench.assertEqual(inst.program.wait(60), 0)
    inst.assert_log(UP_TO_PREPARING + CLOSING)
    keep_log(inst, 'runner_missing')


def left_open(bench, situation, inst, text, lines, box_name=None, main_name=None):
    """The stop box, its text beginning with text, then the main window left open, closed by the
    operator; the log holds lines (None: no log file)."""
    s = bench.session
    box = wait_box(s, 'the stop box', TITLE)
    shown = child(box, id=65535)['caption']
    harness.log('stop box: %r' % shown)
    bench.assertTrue(shown.startswith(text), shown)
    if box_name:
        capture(s, box, box_name)
    s.keys(box, 'Return')
    main = wait_main_window(s)
    if main_name:
        capture(s, main, main_name)
    s.keys(main, 'alt+F4')
    bench.assertEqual(inst.program.wait(30), 0)
    if lines is None:
        bench.assertFalse(inst.sc.exists(inst.log_path), 'a log after a settings failure')
    else:
        inst.assert_log(lines)
    keep_log(inst, situation)


def settings_unreadable(bench):
    inst = bench.installation()
    inst.sc.write_key([('ServerPath', REG_SZ, inst.sc.path('Server')), ('LocalPath', REG_SZ, inst.local),
                       ('Pallado_Connection', REG_MULTI_SZ, inst.standin.server.encode() + b'\0\0')])
    inst.start()
    left_open(bench, 'settings_unreadable', inst, REGISTRY_ERROR % 'Pallado_Connection',
              None, 'stop-box', 'main-window-left-open')


def undo_fails(bench):
    inst = bench.installation(world(ZANT={'faults': ['batch_error', 'rollback_fail']}))
    inst.start()
    left_open(bench, 'undo_fails', inst, 'RollbackTrans failed: ', [BANNER, RUN_SETUP, fail('ZANT')])


SITUATIONS = [completed_twice, dialog_cancelled, wrong_pair_typed, second_catalog_fails, runner_missing,
              settings_unreadable, undo_fails]


def main(argv):
    harness.enter_wine32_env([os.path.abspath(__file__)] + argv[1:])
    setup_exe = os.path.abspath(argv[1] if len(argv) > 1 else os.path.join(SOURCE, 'build', 'win32', 'Setup.exe'))
    bits = harness.pe_bits(setup_exe)
    build = os.path.join(SOURCE, 'build', 'win32' if bits == 32 else 'win64')
    if not os.path.isfile(os.path.join(build, 'tests', 'support', 'inspector.exe')):
        print('the Windows test helpers are not built in %s' % build, file=sys.stderr)
        return 1
    reason32 = harness.can_run_32bit() if bits == 32 else None
    if reason32:
        print('the 32-bit build cannot run here: ' + reason32, file=sys.stderr)
        return 1
    t0 = time.monotonic()
    os.environ['E2E_SETUP_EXE'] = setup_exe   # the helpers still come from the build folder
    session = harness.Session(os.path.join(WORK, 'session'), build)
    session.start()
    Bench.session = session
    try:
        for situation in SITUATIONS:
            harness.log(situation.__name__)
            bench = Bench()
            try:
                situation(bench)
            finally:
                bench.doCleanups()
    finally:
        session.stop()
    harness.log('pictures of %s in %s, logs in %s; %.0f s' % (setup_exe, IMAGES, LOGS, time.monotonic() - t0))
    return 0


if __name__ == '__main__':
    sys.exit(main(sys.argv))
