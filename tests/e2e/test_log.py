"""The upgrade log writer under Wine, through the test program logwriter.exe (WriteLog and
LogStamp as the program links them).

Each scenario prepares the log in a fresh folder, runs the writer once and compares the file
afterwards byte for byte, and that nothing else is left beside it. Sharing scenarios hold the
log from a second Wine process (holder.exe); failure scenarios make one of the writer's OS calls
fail through its test seam; pause scenarios stop the writer at one of those calls and look at
the log from another process meanwhile. The last scenarios run Setup.exe twice on one log, and
while another program holds it.
"""

import datetime
import os
import re
import subprocess
import tempfile
import time

import harness
from harness import smoke
from fixtures import LOG_NAME, RUN_LINES, SpineTestCase, TableTestCase

SHARING_VIOLATION = 32
WAIT = 60  # seconds for another process to reach a point
# The pauses of a line whose file stays held: 2 s in all.
ALL_PAUSES = '10 20 40 80 160 250 250 250 250 250 250 190'

RUN_LOG = b'-------------------------------  2.1.27  -------------------------------\r\n' \
          b'2019/11/29 10:44:04 - Run Setup.exe for 2.1.27\r\n'
LF_LOG = b'report line 1\nreport line 2\n'
LF_REWRITTEN = b'report line 1\r\nreport line 2\r\nnext\r\n'


class LogTestCase(TableTestCase):
    """A scenario folder with an empty Log folder; self.win_log / self.log name the log in it."""

    def setUp(self):
        self.sc = self.scenario()
        self.win_dir = self.sc.path('Log')
        self.sc.mkdir(self.win_dir)
        self.dir = self.sc.unix(self.win_dir)
        self.win_log = self.win_dir + '\\' + LOG_NAME
        self.log = self.sc.unix(self.win_log)
        self.exe = harness.unix_to_z(os.path.join(self.session.build_dir, 'tests', 'support', 'logwriter',
                                                  'logwriter.exe'))

    def clear(self):
        for name in os.listdir(self.dir):
            os.remove(os.path.join(self.dir, name))

    def put_log(self, content):
        if content is not None:
            with open(self.log, 'wb') as f:
                f.write(content)

    def write(self, line, *options, win_log=None, cwd=None):
        """Runs the writer; returns the pauses it asked for ('10 20')."""
        return self.session.wine([self.exe, 'write', self.win_log if win_log is None else win_log, line] +
                                 list(options), bits=self.session.bits, cwd=cwd).decode().strip()

    def assertOnlyTheLog(self, expected):
        """The log holds exactly expected (None: there is none) and nothing else is beside it."""
        found = sorted(os.listdir(self.dir))
        self.assertEqual(found, [] if expected is None else [LOG_NAME])
        if expected is not None:
            with open(self.log, 'rb') as f:
                self.assertEqual(f.read(), expected)

    def start(self, args):
        """Starts a program of this build in the background; its output goes to a file."""
        out = tempfile.TemporaryFile()
        self.addCleanup(out.close)
        proc = subprocess.Popen([self.session.loader()] + args, env=self.session.env(),
                                cwd=self.sc.unix(self.sc.root), stdin=subprocess.DEVNULL,
                                stdout=out, stderr=subprocess.DEVNULL)
        self.addCleanup(lambda: proc.poll() is None and (proc.kill(), proc.wait()))
        return proc, out

    def write_paused(self, call, *options, line='next'):
        """Starts the writer, waits until it stands before its call (e.g. 'flush:1'); returns
        the call that lets it go on and waits for its end."""
        ready, go = self.sc.path('ready'), self.sc.path('go')
        for f in (ready, go):
            if self.sc.exists(f):
                os.remove(self.sc.unix(f))
        proc, _ = self.start([self.exe, 'write', self.win_log, line, '--pause=' + call,
                              '--ready=' + ready, '--go=' + go] + list(options))
        harness.wait_until('the writer to pause', WAIT, lambda: self.sc.exists(ready) or proc.poll() is not None, 0.05)
        self.assertIsNone(proc.poll(), 'the writer ended before its pause')

        def resume():
            open(self.sc.unix(go), 'wb').close()
            self.assertEqual(proc.wait(timeout=WAIT), 0)
        return resume

    def open_error(self, win_path, access='r'):
        """The error another process gets opening win_path to read or write it, all sharing allowed."""
        out = self.session.wine([self.exe, 'open', win_path, access], bits=self.session.bits)
        return int(out.strip())


class LineAdded(LogTestCase):
    # (name, content before or None for no file, line, content after)
    ROWS = [
        ('lf only', b'a\nb\n\nc\n', 'next', b'a\r\nb\r\n\r\nc\r\nnext\r\n'),
        ('missing', None, 'first', b'first\r\n'),
        ('empty', b'', 'first', b'first\r\n'),
        ('written form', RUN_LOG, 'next', RUN_LOG + b'next\r\n'),
        ('last line without end', b'a\r\nb', 'next', b'a\r\nb\r\nnext\r\n'),
        ('cr only', b'a\rb\r', 'next', b'a\r\nb\r\nnext\r\n'),
        ('lf cr', b'a\n\rb', 'next', b'a\r\n\r\nb\r\nnext\r\n'),
        ('nul bytes', b'a\x00b\nc\x00\x00', 'next', b'a\x00b\r\nc\x00\x00\r\nnext\r\n'),
        ('nul bytes in written form', b'\x00\r\n', 'next', b'\x00\r\nnext\r\n'),
        ('one space line', RUN_LOG, ' ', RUN_LOG + b' \r\n'),
    ]

    @smoke
    def test_exact_bytes_afterwards(self):
        for name, before, line, after in self.rows(self.ROWS):
            with self.subTest(name):
                self.clear()
                self.put_log(before)
                self.write(line)
                self.assertOnlyTheLog(after)

    @smoke
    def test_longest_full_name_the_system_allows(self):
        # 259 characters, MAX_PATH less the terminator: a new log and a rewritten one both go
        # through a file beside the log, whose name must be no longer.
        folder = self.win_dir + '\\' + 'd' * (259 - len(self.win_dir) - len('\\') - len('\\' + LOG_NAME))
        log = folder + '\\' + LOG_NAME
        self.assertEqual(len(log), 259)
        self.sc.mkdir(folder)
        for before, after in [(None, b'first\r\n'), (LF_LOG, b'report line 1\r\nreport line 2\r\nfirst\r\n')]:
            with self.subTest(before=before):
                for name in os.listdir(self.sc.unix(folder)):
                    os.remove(os.path.join(self.sc.unix(folder), name))
                if before is not None:
                    with open(self.sc.unix(log), 'wb') as f:
                        f.write(before)
                self.write('first', win_log=log)
                self.assertEqual(os.listdir(self.sc.unix(folder)), [LOG_NAME])
                with open(self.sc.unix(log), 'rb') as f:
                    self.assertEqual(f.read(), after)

    def test_large_log_streamed_in_pieces(self):
        # 3 MiB of LF lines: the rewrite spans several reads and writes.
        lines = [b"line %07d of the package runner's report" % i for i in range(70000)]
        self.put_log(b'\n'.join(lines) + b'\n')
        self.write('next')
        self.assertOnlyTheLog(b'\r\n'.join(lines) + b'\r\nnext\r\n')


class NothingWritten(LogTestCase):

    def test_folder_missing(self):
        self.write('line', win_log=self.win_dir + '\\Missing\\' + LOG_NAME)
        self.assertOnlyTheLog(None)

    def test_name_is_a_folder(self):
        os.makedirs(self.log)
        self.write('line')
        self.assertEqual(os.listdir(self.dir), [LOG_NAME])
        self.assertEqual(os.listdir(self.log), [])

    def test_empty_name(self):
        self.write('line', win_log='', cwd=self.dir)
        self.assertOnlyTheLog(None)


class HeldByAnotherProcess(LogTestCase):
    # A reader that lets others write keeps the log where it is: the line goes to its end, on
    # the rewrite path too. Whoever keeps writers out costs the line; the log stays as it was.
    # (name, access, share, whether the line arrives)
    HOLDERS = [
        ('reading, no sharing', 'r', 'none', False),
        ('writing, others may read', 'rw', 'r', False),
        ('reading, all sharing', 'r', 'rwd', True),
        ('reading, others may read and write', 'r', 'rw', True),
    ]

    @smoke
    def test_readers_let_in_others_cost_the_line(self):
        for name, access, share, arrives in self.rows(self.HOLDERS):
            for content in (RUN_LOG, LF_LOG):
                with self.subTest(name, content=content):
                    self.put_log(content)
                    holder = harness.Holder(self.session, self.win_log, access, share)
                    try:
                        self.write('next')
                    finally:
                        self.assertEqual(holder.release(), 0)
                    self.assertOnlyTheLog(content + b'next\r\n' if arrives else content)


class FailureInTheMiddle(LogTestCase):
    # (name, content before, the writer's call made to fail). A failing write writes half of
    # its bytes first, as a full disk does.
    ROWS = [
        ('rewrite, write of a later piece', (b'x' * 100 + b'\n') * 30000, 'write:2'),
        ('append, cut back', RUN_LOG, 'write:1'),
        ('rewrite, write', LF_LOG, 'write:1'),
        ('rewrite, flush', LF_LOG, 'flush:1'),
        ('new log, write', None, 'write:1'),
        ('new log, move', None, 'move:1'),
    ]

    @smoke
    def test_old_log_whole_nothing_left_beside(self):
        for name, content, call in self.rows(self.ROWS):
            with self.subTest(name):
                self.clear()
                self.put_log(content)
                self.write('lost', '--fail=' + call)
                self.assertOnlyTheLog(content)


class TriedAgain(LogTestCase):
    # (name, content before or None, the writer's calls made to fail, content after, the pauses
    # it asked for, which take no time here)
    ROWS = [
        ('open refused twice', RUN_LOG, ['open:1-2:32'], RUN_LOG + b'next\r\n', '10 20'),
        ('open refused all along', RUN_LOG, ['open:1-:33'], RUN_LOG, ALL_PAUSES),
        ('open denied', RUN_LOG, ['open:1:5'], RUN_LOG, ''),
        ('new file held a moment', LF_LOG, ['open:2-3:32'], LF_REWRITTEN, '10 20'),
        ('new file not removed at once', LF_LOG, ['flush:1', 'delete:1:32'], LF_LOG, '10'),
        ('new log, move refused once', None, ['move:1:32'], b'next\r\n', '10'),
        ('move refused twice', LF_LOG, ['move:1-2:5'], LF_REWRITTEN, '10 20'),
        ('move refused all along', LF_LOG, ['move:1-:32'], LF_LOG + b'next\r\n', ALL_PAUSES),
        ('move failing otherwise', LF_LOG, ['move:1'], LF_LOG + b'next\r\n', ''),
        ('move refused, then the append fails', LF_LOG, ['move:1-:5', 'write:3'], LF_LOG, ALL_PAUSES),
        ('move refused, then the log held', LF_LOG, ['move:1:5', 'open:3-:32'], LF_LOG, ALL_PAUSES),
    ]

    @smoke
    def test_bytes_and_pauses(self):
        for name, before, calls, after, pauses in self.rows(self.ROWS):
            with self.subTest(name):
                self.clear()
                self.put_log(before)
                self.assertEqual(self.write('next', *['--fail=' + c for c in calls]), pauses)
                self.assertOnlyTheLog(after)


class NewFileNameTaken(LogTestCase):
    # What is left at the new file's name: a plain file of the folder is removed and the rewrite
    # goes on; anything else stays, the file it leads to keeps its bytes, and the line goes to
    # the log's end (the log made anew when there is none yet).
    # (name, log before or None, what is at the new file's name, log after, whether it stays)
    ROWS = [
        ('plain file', LF_LOG, 'file', LF_REWRITTEN, False),
        ('second name of another file', LF_LOG, 'hard link', LF_LOG + b'next\r\n', True),
        ('link, no log yet', None, 'link', b'next\r\n', True),
    ]

    def test_only_a_plain_file_removed(self):
        other, new = os.path.join(self.sc.unix(self.sc.root), 'other.txt'), self.log[:-1] + '~'
        for name, before, kind, after, stays in self.rows(self.ROWS):
            with self.subTest(name):
                self.clear()
                self.put_log(before)
                with open(other, 'wb') as f:
                    f.write(b'other\r\n')
                if kind == 'file':
                    with open(new, 'wb') as f:
                        f.write(b'half a rewrite')
                else:
                    (os.link if kind == 'hard link' else os.symlink)(other, new)
                self.write('next')
                self.assertEqual(sorted(os.listdir(self.dir)), sorted([LOG_NAME] + [os.path.basename(new)] * stays))
                with open(self.log, 'rb') as f, open(other, 'rb') as g:
                    self.assertEqual((f.read(), g.read()), (after, b'other\r\n'))


class WhatOthersSee(LogTestCase):
    """Another process opening the log while the writer is paused at one of its calls."""

    @smoke
    def test_writers_shut_out_while_appending(self):
        self.put_log(RUN_LOG)
        resume = self.write_paused('write:1')
        try:
            self.assertEqual(self.open_error(self.win_log), 0)
            self.assertEqual(self.open_error(self.win_log, 'w'), SHARING_VIOLATION)
        finally:
            resume()
        self.assertOnlyTheLog(RUN_LOG + b'next\r\n')

    def test_writers_shut_out_of_log_and_all_of_new_file_while_rewriting(self):
        self.put_log(LF_LOG)
        resume = self.write_paused('flush:1')
        try:
            self.assertEqual(self.open_error(self.win_log), 0)
            self.assertEqual(self.open_error(self.win_log, 'w'), SHARING_VIOLATION)
            self.assertEqual(self.open_error(self.win_log[:-1] + '~'), SHARING_VIOLATION)
        finally:
            resume()
        self.assertOnlyTheLog(LF_REWRITTEN)

    def test_opened_in_the_instant_before_the_move(self):
        # Windows moves no file over one that is open, so the writer lets the log go just
        # before the move. A process that opens it in that instant makes the move fail; the
        # line goes to the log's end as it stands.
        self.put_log(LF_LOG)
        resume = self.write_paused('move:1')
        holder = harness.Holder(self.session, self.win_log, 'r', 'rwd')
        try:
            resume()
        finally:
            self.assertEqual(holder.release(), 0)
        self.assertOnlyTheLog(LF_LOG + b'next\r\n')

    def test_written_to_while_the_move_was_refused(self):
        # Another writer got in while the log was let go: the copy is stale, so the line goes
        # to the log's end, even though the next move would be let through.
        self.put_log(LF_LOG)
        resume = self.write_paused('move:2', '--fail=move:1-2:5')
        with open(self.log, 'ab') as f:
            f.write(b'other\n')
        resume()
        self.assertOnlyTheLog(LF_LOG + b'other\nnext\r\n')


class RegionalSeparators(LogTestCase):
    KEY = 'HKCU\\Control Panel\\International'
    # Wine derives the separators from the formats, Windows reads sDate and sTime: all four
    # are set alike. (sShortDate, sDate, sTimeFormat, sTime, the stamp's separators)
    ROWS = [
        ('dd.MM.yyyy', '.', 'HH-mm-ss', '-', '.', '-'),
        ('yyyy-MM-dd', '-', 'h:mm:ss tt', ':', '-', ':'),
        ('dd//MM//yyyy', '//', 'HH::mm::ss', '::', '/', ':'),
        ('yyyyMMdd', '', 'HHmmss', '', '', ''),
    ]
    EN_US = ('M/d/yyyy', '/', 'h:mm:ss tt', ':')

    def set_international(self, short_date, date, time_format, time_sep):
        for name, value in (('sShortDate', short_date), ('sDate', date),
                            ('sTimeFormat', time_format), ('sTime', time_sep)):
            self.session.wine(['reg', 'add', self.KEY, '/v', name, '/d', value, '/f'])

    @smoke
    def test_stamp_follows_separators_on_24_hour_clock(self):
        self.addCleanup(self.set_international, *self.EN_US)
        for short_date, date, time_format, time_sep, d, t in self.rows(self.ROWS):
            with self.subTest(short_date=short_date, time_format=time_format):
                self.set_international(short_date, date, time_format, time_sep)
                before = datetime.datetime.now().replace(microsecond=0)
                out = self.session.wine([self.exe, 'stamp'], bits=self.session.bits)
                after = datetime.datetime.now()
                stamp = out.decode('ascii').rstrip('\r\n')
                d_, t_ = re.escape(d), re.escape(t)
                self.assertRegex(stamp, r'^\d{4}%s\d\d%s\d\d \d\d%s\d\d%s\d\d$' % (d_, d_, t_, t_))
                taken = datetime.datetime.strptime(stamp, '%Y{0}%m{0}%d %H{1}%M{1}%S'.format(d, t))
                self.assertTrue(before <= taken <= after, '%s not within %s .. %s' % (stamp, before, after))


class SetupRuns(SpineTestCase):

    @smoke
    def test_second_run_appends_after_the_first(self):
        # The log as another writer left it: LF line ends, the last line without one. The first
        # run rewrites it in the written form before its lines, the second appends after them.
        sc = self.scenario()
        log_file = self.write_installation(sc, b'runner report\nlast line without end')
        exe = sc.install()
        first = sc.start(exe)
        self.assertEqual(self.run_through(sc, first), 0)
        second = sc.start(exe)
        self.assertEqual(self.run_through(sc, second), 0)
        until = harness.time.time()
        earlier = b'runner report\r\nlast line without end\r\n'
        data = sc.read(log_file)
        self.assertEqual(data[:len(earlier)], earlier)
        stamps = self.assertLog(data[len(earlier):], RUN_LINES + RUN_LINES, first.started, until)
        self.assertGreaterEqual(min(stamps[2:]), int(second.started) - 1)
        self.assertEqual(os.listdir(sc.unix(sc.path('Prog\\Log'))), [LOG_NAME])

    # (name, holder.exe's access, share and options, whether the lines arrive). The log's last
    # line has no end, so that a rewrite and an append in place give the same bytes.
    HELD = [
        ('viewer sharing read and write', ('r', 'rw'), True),
        ('viewer sharing read, write and delete', ('r', 'rwd'), True),
        ('opener holding it 30 ms in every 100', ('r', 'none', '--cycle', '30', '100'), True),
        ('holder without sharing', ('r', 'none'), False),
    ]

    def test_held_during_a_run(self):
        earlier = b'runner report\r\nlast line without end'
        for i, (name, holding, arrives) in enumerate(self.rows(self.HELD)):
            with self.subTest(name):
                sc = self.scenario('held_%d' % i)
                log_file = self.write_installation(sc, earlier)
                exe = sc.install()
                holder = harness.Holder(self.session, log_file, *holding)
                try:
                    program = sc.start(exe)
                    self.assertEqual(self.run_through(sc, program, timeout=30 + 2.5 * len(RUN_LINES)), 0)
                finally:
                    self.assertEqual(holder.release(), 0)
                data = sc.read(log_file)
                if arrives:
                    self.assertEqual(data[:len(earlier) + 2], earlier + b'\r\n')
                    self.assertLog(data[len(earlier) + 2:], RUN_LINES, program.started, time.time())
                else:
                    self.assertEqual(data, earlier)
                self.assertEqual(os.listdir(sc.unix(sc.path('Prog\\Log'))), [LOG_NAME])
