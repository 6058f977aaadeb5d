#!/usr/bin/python3
"""The package run under Wine. The package runner stand-in dtsrun.exe (in LocalPath) records the
command line it was given, appends its report to the file given with /L and ends with a chosen
code after a chosen time.

On its own (PackageRun, FailedStart): pkgprobe.exe runs the package step with settings of the
test's choosing and stamps its log lines with the time in ms since 1970, so the end of the wait
can be compared with the runner's own end. The same step inside the whole program is in
test_run.py.

Asserted: the exact command line, the runner's report between the two lines of the step, the end
of the wait for every exit code, and the box of a failed start as the operator sees it, with the
system's text of this machine."""

import datetime
import json
import os
import re
import shutil
import subprocess
import time

from harness import E2ETestCase, Program, child, smoke, unix_to_z
from fixtures import RELEASE, SCREEN_CENTRE, TITLE, day_number, package_argument, wait_box

PREPARING = re.compile(rb'^([0-9]+) - Preparing to invoke DTS file for ' + re.escape(RELEASE.encode()) + rb'$')
FINISHED = re.compile(rb'^([0-9]+) - Finished to invoke DTS file for ' + re.escape(RELEASE.encode()) + rb'$')
SS_TYPEMASK, SS_LEFT = 0x1F, 0x0


def expected_elements(s, day):
    """The twelve elements of the runner's command line, built from the settings s."""
    return [
        '/F ' + package_argument(s['AppPath'] + RELEASE + '.dts'),
        '/M q',
        '/L "%s"' % s['LogFileName'],
        '/W "0"',
        '/A AppPath:8="%s"' % s['AppPath'],
        '/A ServerPath:8="%s"' % s['ServerPath'],
        '/A LocalPath:8="%s"' % s['LocalPath'],
        '/A PalladoConnection:8="%s"' % s['PalladoConnection'],
        '/A DBPwd:8="%s"' % s['DBPwd'],
        '/A UpgDate:8="%d"' % day,
        '/A MDBLocation:8="Zant.mdb"',
        '/A DBUser:8="%s"' % s['DBUser'],
    ]


def report(log_path, exit_code):
    return ['dtsrun stand-in: report to ' + log_path, 'dtsrun stand-in: exit code %d' % exit_code]


def runner_config(record, facts='', delay_ms=0, exit_code=0, style='crlf'):
    return 'record=%s\r\nfacts=%s\r\ndelay_ms=%d\r\nexit_code=%d\r\nreport=%s\r\n' % (
        record, facts, delay_ms, exit_code, style)


def probe_path(session):
    return os.path.join(session.build_dir, 'tests', 'support', 'pkgprobe', 'pkgprobe.exe')


class PackageChecks(E2ETestCase):

    def probe(self, *args):
        """Runs pkgprobe.exe to its end; returns its output."""
        return self.session.wine([unix_to_z(probe_path(self.session))] + list(args), bits=self.session.bits)

    def system_text(self, sc, code):
        """What FormatMessageA gives for code on this machine now."""
        path = sc.path('message-%d.txt' % code)
        self.probe('sysmsg', str(code), path)
        return sc.read(path).decode('cp1252')

    def assert_command_line(self, recorded, settings, started):
        """recorded is the line of expected_elements, compared element by element so that a
        difference names its element; the day is that of the start or of now."""
        days = {day_number(datetime.date.fromtimestamp(t)) for t in (started, time.time())}
        day = next((d for d in sorted(days) if '/A UpgDate:8="%d"' % d in recorded), min(days))
        rest = recorded
        for element in expected_elements(settings, day):
            self.assertTrue(rest.startswith(' ' + element), 'expected %r, found %r' % (element, rest))
            rest = rest[len(element) + 1:]
        self.assertEqual(rest, '', 'nothing after the last element')

    def assert_start_box(self, box, text):
        """The box of a failed start: the text as given, word-wrapped, one OK, centred, no icon."""
        self.assertEqual(box['class'], '#32770')
        label = child(box, id=65535)
        self.assertEqual(label['caption'], text)
        self.assertEqual(label['style'] & SS_TYPEMASK, SS_LEFT, 'word-wrapped text')
        buttons = [c for c in box['children'] if c['class'].lower() == 'button' and c['visible']]
        self.assertEqual([b['caption'] for b in buttons], ['OK'])
        l, t, r, b = box['rect']
        self.assertLessEqual(abs((l + r) / 2 - SCREEN_CENTRE[0]), 1, 'centred on the screen')
        self.assertLessEqual(abs((t + b) / 2 - SCREEN_CENTRE[1]), 1, 'centred on the screen')
        shown = [json.loads(line) for line in self.probe('boxes', box['caption']).decode().splitlines()
                 if line.strip()]
        self.assertEqual([e for e in shown if 'box' in e], [{'box': box['caption']}], 'one box')
        self.assertEqual([e for e in shown if e.get('icon')], [], 'no icon')


class PackageCase(PackageChecks):

    def setUp(self):
        self.sc = self.scenario()
        root = self.sc.root
        self.settings = {
            'AppPath': root + '\\App Dir\\',
            'ServerPath': root + '\\Server\\',
            'LocalPath': root + '\\Local Dir\\',
            'LogRoot': root + '\\',
            'PalladoConnection': 'DBHOST\\INST',
            'LogFileName': root + '\\Log Dir\\' + RELEASE + '.log',
            'DBUser': 'sa',
            'DBPwd': 'secret',
            'Title': TITLE,
        }
        for folder in ('App Dir', 'Local Dir', 'Log Dir'):
            self.sc.mkdir(self.sc.path(folder))
        self.record = self.sc.path('record.txt')
        self.facts = self.sc.path('facts.txt')

    def install_runner(self, delay_ms=0, exit_code=0, style='crlf'):
        local = self.sc.unix(self.settings['LocalPath'])
        shutil.copy(os.path.join(self.session.build_dir, 'tests', 'support', 'dtsrun', 'dtsrun.exe'), local)
        with open(os.path.join(local, 'dtsrun.cfg'), 'w', newline='') as f:
            f.write(runner_config(self.record, self.facts, delay_ms, exit_code, style))

    def start_probe(self):
        path = self.sc.path('settings.txt')
        with open(self.sc.unix(path), 'wb') as f:
            f.write(''.join('%s=%s\r\n' % kv for kv in self.settings.items()).encode('cp1252'))
        s = self.session
        proc = subprocess.Popen([s.loader(), unix_to_z(probe_path(s)), 'run', path], env=s.env(),
                                cwd=self.sc.unix(self.sc.root), stdin=subprocess.DEVNULL,
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        program = Program(proc, time.time())
        self.sc.programs.append(program)
        return program

    def run_probe(self, timeout=60):
        """Runs the step to its end; returns the time it started."""
        program = self.start_probe()
        self.assertEqual(program.wait(timeout), 0)
        return program.started

    def log_lines(self):
        with open(self.sc.unix(self.settings['LogFileName']), 'rb') as f:
            data = f.read()
        self.assertTrue(data.endswith(b'\r\n'), data)
        return data[:-2].split(b'\r\n')

    def runner_facts(self):
        with open(self.sc.unix(self.facts), 'rb') as f:
            return dict(line.split(b'=', 1) for line in f.read().split(b'\r\n') if line)

    def assert_ran_between_lines(self, exit_code):
        """The log holds the Preparing line, the runner's report, the Finished line; the
        Finished stamp is no earlier than the runner's end. Returns (finished, runner end) in ms."""
        lines = self.log_lines()
        self.assertEqual(len(lines), 4, lines)
        prepared = PREPARING.match(lines[0])
        finished = FINISHED.match(lines[3])
        self.assertTrue(prepared and finished, lines)
        self.assertEqual(lines[1:3], [l.encode('cp1252') for l in report(self.settings['LogFileName'], exit_code)])
        facts = self.runner_facts()
        self.assertEqual(facts[b'console'], b'1', 'the runner has a console of its own')
        started, ended = int(facts[b'started']), int(facts[b'ended'])
        self.assertLessEqual(int(prepared.group(1)), started)
        self.assertGreaterEqual(int(finished.group(1)), ended)
        return int(finished.group(1)), ended


class PackageRun(PackageCase):

    @smoke
    def test_runner_gets_the_exact_command_line_and_reports_into_the_log(self):
        self.settings['DBPwd'] = 'pa"ss word'
        self.settings['DBUser'] = 'O"Brien x'
        self.install_runner()
        started = self.run_probe()
        self.assert_command_line(self.sc.read(self.record).decode('cp1252'), self.settings, started)
        self.assert_ran_between_lines(0)

    def test_every_exit_code_ends_the_wait(self):
        for code in (1, 259):
            with self.subTest(exit_code=code):
                log = self.sc.unix(self.settings['LogFileName'])
                if os.path.exists(log):
                    os.remove(log)
                self.install_runner(delay_ms=300, exit_code=code)
                self.run_probe()
                self.assert_ran_between_lines(code)

    def test_end_of_a_long_runner_is_noticed_at_once(self):
        self.install_runner(delay_ms=5000)
        self.run_probe(timeout=90)
        finished, ended = self.assert_ran_between_lines(0)
        facts = self.runner_facts()
        self.assertGreaterEqual(ended - int(facts[b'started']), 5000)
        self.assertLess(finished - ended, 1000, 'Finished stamp within a second of the runner\'s end')


class FailedStart(PackageCase):

    @smoke
    def test_runner_that_cannot_start_shows_the_system_text_and_goes_on_after_ok(self):
        # (runner file's bytes, None: missing; the start's error code). The text of 193 holds an
        # insert, "%1", shown as the system has it.
        for runner, code in ((None, 2), (b'not a program\r\n', 193)):
            with self.subTest(code=code):
                log = self.sc.unix(self.settings['LogFileName'])
                if os.path.exists(log):
                    os.remove(log)
                if runner is not None:
                    with open(self.sc.unix(self.settings['LocalPath'] + 'dtsrun.exe'), 'wb') as f:
                        f.write(runner)
                expected = self.system_text(self.sc, code)
                program = self.start_probe()
                box = wait_box(self.session, 'the box of the failed start', TITLE, 60, exe='pkgprobe.exe')
                self.assert_start_box(box, expected)
                self.assertTrue(program.running(), 'the step waits for the box')

                self.session.keys(box, 'Return')
                self.assertEqual(program.wait(30), 0)
                lines = self.log_lines()
                self.assertEqual(len(lines), 1, 'no Finished line after a failed start: %r' % lines)
                self.assertTrue(PREPARING.match(lines[0]), lines)

    def test_error_text_of_the_system_and_its_fallback(self):
        for code, want in (('2', None),
                           ('193', None),           # a text with an insert
                           ('0x20000001', b'Error in GetErrorString(536870913) : 317'),
                           ('0xE0000001', b'Error in GetErrorString(-536870911) : 317')):
            with self.subTest(code=code):
                got_path = self.sc.path('errtext-%s.txt' % code)
                self.probe('errtext', code, got_path)
                if want is None:
                    want = self.system_text(self.sc, int(code, 0)).encode('cp1252')
                self.assertEqual(self.sc.read(got_path), want)


if __name__ == '__main__':
    import sys
    import harness
    sys.exit(harness.run_modules([os.path.splitext(os.path.basename(__file__))[0]]))
