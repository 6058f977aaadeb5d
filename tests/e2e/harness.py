#!/usr/bin/python3
"""End-to-end harness: runs the built Setup.exe under Wine in a virtual X display.

One session per ctest run of a Windows build (the CTest fixture calls `harness.py start` and
`harness.py stop`): an Xvfb display, a fresh Wine prefix with a persistent wineserver, a
generated unix locale and an odbcinst.ini, all under the build folder. Each tests/e2e/test_*.py
is run by `harness.py run test_xxx`; its scenarios take a fresh installation tree and registry
key each (Scenario), start the program, watch its windows through inspector.exe, type with
xdotool, and compare the upgrade log's exact bytes.

Environment (set by tests/e2e/CMakeLists.txt; all optional when run by hand):
  E2E_BUILD_DIR       the Windows build folder holding Setup.exe (default build/win32)
  E2E_SETUP_EXE       another Setup.exe to run instead of the build folder's (e.g. a release's);
                      the test helpers still come from the build folder
  E2E_STATE_DIR       where the session lives (default <build>/tests/e2e/session)
  UPG_NATIVE_BUILD_DIR  the native build folder with tools/sqlstandin (overrides the default
                      that CMake passes as E2E_NATIVE_DIR_DEFAULT, itself build/native)
  E2E_ALL=1           the 64-bit build runs every scenario, not only its smoke set
  E2E_SMOKE=1         either build runs only its smoke set
  E2E_KEEP_PREFIX=1   `stop` leaves the prefix on disk for a look after a failure
"""

import contextlib
import json
import os
import re
import select
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE_DIR = os.path.dirname(os.path.dirname(HERE))

KEY = r'HKEY_LOCAL_MACHINE\SOFTWARE\Corvessa\Quiln-Ostrel'
LOCALE = 'en_US.UTF-8'
SCREEN = '1280x1024x24'
# The TDS level FreeTDS asks for: at 7.1 it begins and ends transactions with SQL text, as
# Windows' own driver does; at 7.4 with transaction-manager requests.
TDS_LEVEL = os.environ.get('E2E_TDSVER', '7.4')
WINE32 = 'wine'                      # Debian's wrapper: the 32-bit loader when it can run
STAMP = rb'[0-9]{4}/[0-9]{2}/[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2}'
SKIP = 77                            # ctest SKIP_RETURN_CODE

REG_SZ, REG_EXPAND_SZ, REG_BINARY, REG_DWORD, REG_MULTI_SZ = 1, 2, 3, 4, 7


def log(msg):
    print('[e2e] ' + msg, flush=True)


# ---------------------------------------------------------------------------------------------
# Small process helpers. Wine children (services.exe, explorer.exe) inherit every descriptor of
# the process that started the first one, so output goes to files, never to pipes we wait on.

def run_quiet(cmd, env=None, timeout=60, cwd=None):
    """Runs cmd to its end with output in temporary files; returns (rc, stdout bytes, stderr bytes)."""
    with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
        p = subprocess.Popen(cmd, env=env, cwd=cwd, stdin=subprocess.DEVNULL, stdout=out, stderr=err)
        try:
            rc = p.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            p.kill()
            p.wait()
            raise AssertionError('timed out after %ss: %s' % (timeout, ' '.join(cmd)))
        out.seek(0)
        err.seek(0)
        return rc, out.read(), err.read()


def check_quiet(cmd, env=None, timeout=60, cwd=None):
    rc, out, err = run_quiet(cmd, env, timeout, cwd)
    if rc != 0:
        raise AssertionError('%s failed (rc %d): %s' % (' '.join(cmd), rc, (out + err).decode(errors='replace')))
    return out


def wait_until(what, timeout, probe, interval=0.1):
    """Calls probe() until it returns something truthy; fails after timeout seconds."""
    deadline = time.monotonic() + timeout
    last = None
    while True:
        last = probe()
        if last:
            return last
        if time.monotonic() > deadline:
            raise AssertionError('timed out after %ss waiting for %s' % (timeout, what))
        time.sleep(interval)


def observe(seconds, probe, interval=0.2):
    """Watches for seconds whether probe() turns truthy; returns its first truthy result or None.
    For what must NOT happen within a time (a normal run ends well within it)."""
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        got = probe()
        if got:
            return got
        time.sleep(interval)
    return None


def pe_bits(path):
    """32 or 64, from the machine field of a PE file's header."""
    with open(path, 'rb') as f:
        head = f.read(4096)
    pe = int.from_bytes(head[0x3c:0x40], 'little')
    machine = int.from_bytes(head[pe + 4:pe + 6], 'little')
    return {0x14c: 32, 0x8664: 64}[machine]


def wine64_loader():
    """The 64-bit loader, which Debian installs outside PATH."""
    rc, out, _ = run_quiet(['dpkg', '-L', 'wine64'])
    for line in out.decode().splitlines():
        if line.endswith('/wine64') and os.access(line, os.X_OK) and not os.path.isdir(line):
            return line
    raise AssertionError('wine64 loader not found (dpkg -L wine64)')


WINE32_LOADER = '/usr/lib/wine/wine'
WINE_COULD_NOT_START = b'Application could not be started'
WINE32_ENV = os.path.join(SOURCE_DIR, 'scripts', 'wine32-env')


def _runs(cmd):
    try:
        return run_quiet(cmd, timeout=60)[0] == 0
    except OSError:   # "Exec format error" where the kernel runs no 32-bit code
        return False


def can_run_32bit():
    """None when Wine's 32-bit loader runs here, natively or through scripts/wine32-env (QEMU
    registered in a private namespace, where the kernel runs no 32-bit code); else the reason."""
    if _runs([WINE32_LOADER, '--version']):
        return None
    try:
        rc, out, err = run_quiet([WINE32_ENV, WINE32_LOADER, '--version'], timeout=60)
    except (OSError, AssertionError) as e:
        return str(e)
    if rc != 0:
        return (out + err).decode(errors='replace').strip() or 'the 32-bit Wine loader does not run here'
    return None


def enter_wine32_env(argv):
    """Runs this script again under scripts/wine32-env when Wine's 32-bit loader works only
    there, so that every Wine process it starts can run 32-bit programs. Returns when nothing
    is needed or nothing helps (can_run_32bit then says why)."""
    if os.environ.get('E2E_IN_WINE32_ENV') == '1':
        return
    if _runs([WINE32_LOADER, '--version']) or not _runs([WINE32_ENV, 'true']):
        return
    os.environ['E2E_IN_WINE32_ENV'] = '1'
    sys.stdout.flush()
    os.execv(WINE32_ENV, [WINE32_ENV, sys.executable] + argv)


# ---------------------------------------------------------------------------------------------
# Registry files: REGEDIT4 with every value as hex bytes, so the types and bytes are exact.

def reg_file(values):
    """REGEDIT4 text that writes the installation key with values: a list of (name, type, data),
    data as str (ANSI), bytes (exact) or int (DWORD). A str for REG_SZ / REG_EXPAND_SZ gets its
    terminating NUL; bytes are taken as they are."""
    lines = ['REGEDIT4', '', '[%s]' % KEY]
    for name, kind, data in values:
        if isinstance(data, int):
            data = data.to_bytes(4, 'little')
        elif isinstance(data, str):
            data = data.encode('cp1252') + (b'\0' if kind in (REG_SZ, REG_EXPAND_SZ) else b'')
        lines.append('"%s"=hex(%x):%s' % (name, kind, ','.join('%02x' % b for b in data)))
    lines.append('')
    return '\r\n'.join(lines) + '\r\n'


# ---------------------------------------------------------------------------------------------
# Log comparison.

def log_pattern(lines):
    """A regex for a whole log file: each expected line + CR LF, where '{stamp}' in a line stands
    for one time stamp."""
    parts = []
    for line in lines:
        pieces = [re.escape(p.encode('cp1252')) for p in line.split('{stamp}')]
        parts.append((b'(' + STAMP + b')').join(pieces) + b'\r\n')
    return re.compile(b''.join(parts), re.DOTALL)


def parse_stamp(stamp):
    return time.mktime(time.strptime(stamp.decode(), '%Y/%m/%d %H:%M:%S'))


def build_dir_from_environment():
    return os.path.abspath(os.environ.get('E2E_BUILD_DIR', os.path.join(SOURCE_DIR, 'build', 'win32')))


def release_label(build_dir):
    """The release label the build was configured with: the project's version, its one source."""
    with open(os.path.join(build_dir, 'CMakeCache.txt')) as f:
        return next(line.split('=', 1)[1].strip() for line in f if line.startswith('CMAKE_PROJECT_VERSION:'))


# ---------------------------------------------------------------------------------------------
# The session: display, prefix, wineserver.

class Session:
    def __init__(self, state_dir, build_dir):
        self.state_dir = state_dir
        self.build_dir = build_dir
        self.state_file = os.path.join(state_dir, 'session.json')
        self.state = {}

    @staticmethod
    def from_environment():
        build = build_dir_from_environment()
        state = os.environ.get('E2E_STATE_DIR', os.path.join(build, 'tests', 'e2e', 'session'))
        return Session(os.path.abspath(state), build)

    # -- paths and environment --

    @property
    def setup_exe(self):
        return os.environ.get('E2E_SETUP_EXE') or os.path.join(self.build_dir, 'Setup.exe')

    @property
    def bits(self):
        return self.state.get('bits') or pe_bits(self.setup_exe)

    @property
    def prefix(self):
        return os.path.join(self.state_dir, 'prefix')

    @property
    def drive_c(self):
        return os.path.join(self.prefix, 'drive_c')

    def helper(self, name):
        """Windows path (Z: drive) of a helper built in this build folder."""
        return unix_to_z(os.path.join(self.build_dir, 'tests', 'support', name + '.exe'))

    def loader(self, bits=None):
        return self.state['wine64'] if (bits or self.bits) == 64 else WINE32

    def env(self, extra=None):
        env = {k: v for k, v in os.environ.items() if not k.startswith(('WINE', 'LC_', 'ODBC'))}
        env.update({
            'WINEDEBUG': '-all',
            'WINEPREFIX': self.prefix,
            'DISPLAY': self.state.get('display', ''),
            'LANG': LOCALE, 'LC_ALL': LOCALE,
            'LOCPATH': os.path.join(self.state_dir, 'locale'),
            'ODBCSYSINI': os.path.join(self.state_dir, 'odbc'),
            'TDSVER': TDS_LEVEL,
        })
        env.update(extra or {})
        return env

    def run_wine(self, args, timeout=60, bits=64, cwd=None, extra_env=None):
        """Runs one of the harness's Wine tools to its end (64-bit by default); returns (rc, stdout
        bytes, stderr bytes). Now and then Wine's loader cannot start a program at all: it hands it
        to start.exe, which fails too (WINE_COULD_NOT_START), or it ends with an exit code and no
        output (seen once of the inspector, which always says why it fails). The tool is then
        started again, up to twice. The program under test is never started again."""
        if cwd is None:
            cwd = self.drive_c if os.path.isdir(self.drive_c) else self.state_dir
        for attempt in range(3):
            rc, out, err = run_quiet([self.loader(bits)] + args, self.env(extra_env), timeout, cwd)
            said = out + err
            if rc == 0 or (said.strip() and WINE_COULD_NOT_START not in said) or attempt == 2:
                return rc, out, err
            log('Wine could not start %s; again' % args[0])

    def wine(self, args, timeout=60, bits=64, cwd=None, extra_env=None):
        """Runs a Wine tool to its end (run_wine); returns its stdout bytes, fails on an exit code
        other than 0."""
        rc, out, err = self.run_wine(args, timeout, bits, cwd, extra_env)
        if rc != 0:
            raise AssertionError('%s failed (rc %d): %s' % (' '.join(args), rc, (out + err).decode(errors='replace')))
        return out

    # -- state --

    def load(self):
        if not os.path.exists(self.state_file):
            return False
        with open(self.state_file) as f:
            self.state = json.load(f)
        return True

    def save(self):
        os.makedirs(self.state_dir, exist_ok=True)
        with open(self.state_file, 'w') as f:
            json.dump(self.state, f, indent=1)

    @property
    def unavailable(self):
        return self.state.get('unavailable')

    @property
    def smoke_only(self):
        if os.environ.get('E2E_SMOKE') == '1':
            return True
        return self.bits == 64 and self.state.get('can_run_32') and os.environ.get('E2E_ALL') != '1'

    # -- start and stop --

    def start(self):
        self.stop()
        t0 = time.monotonic()
        os.makedirs(self.state_dir, exist_ok=True)
        bits = pe_bits(self.setup_exe)
        reason32 = can_run_32bit()
        self.state = {'bits': bits, 'can_run_32': reason32 is None, 'wine64': wine64_loader()}
        if bits == 32 and reason32:
            self.state['unavailable'] = reason32
            self.save()
            log('32-bit build cannot run here: ' + reason32)
            return
        self._make_locale()
        try:
            self._start_display()
            self.save()  # from here on, stop() can undo what start() made
            self._make_prefix()
            self._write_odbc_config()
            self.save()
        except BaseException:
            self.stop()
            raise
        log('session ready in %.1f s: display %s, prefix %s, %d-bit' %
            (time.monotonic() - t0, self.state['display'], self.prefix, bits))

    def _make_locale(self):
        target = os.path.join(self.state_dir, 'locale', LOCALE)
        if not os.path.isdir(target):
            os.makedirs(os.path.dirname(target), exist_ok=True)
            lang, charset = LOCALE.split('.')
            check_quiet(['localedef', '-i', lang, '-f', charset, target], timeout=120)

    def _start_display(self):
        r, w = os.pipe()
        logf = open(os.path.join(self.state_dir, 'xvfb.log'), 'wb')
        p = subprocess.Popen(['Xvfb', '-displayfd', str(w), '-screen', '0', SCREEN, '-nolisten', 'tcp'],
                             pass_fds=(w,), stdin=subprocess.DEVNULL, stdout=logf, stderr=logf,
                             start_new_session=True)
        os.close(w)
        self.state['xvfb_pid'] = p.pid
        data = b''
        deadline = time.monotonic() + 20
        while not data.endswith(b'\n'):
            left = deadline - time.monotonic()
            if left <= 0 or not select.select([r], [], [], left)[0]:
                raise AssertionError('Xvfb did not report its display')
            chunk = os.read(r, 64)
            if not chunk:
                raise AssertionError('Xvfb ended at start (see xvfb.log)')
            data += chunk
        os.close(r)
        self.state['display'] = ':' + data.decode().strip()

    def _make_prefix(self):
        shutil.rmtree(self.prefix, ignore_errors=True)
        # No Mono or Gecko prompts: neither is installed, nor needed. A wow64 prefix where 32-bit
        # programs run; else a 64-bit one, which spares wineboot its 32-bit half.
        boot_env = {'WINEDLLOVERRIDES': 'mscoree=;mshtml='}
        if not self.state['can_run_32']:
            boot_env['WINEARCH'] = 'win64'
        self.wine(['wineboot', '--init'], timeout=300, extra_env=boot_env)
        fonts = os.path.join(self.drive_c, 'windows', 'Fonts')
        out = check_quiet(['dpkg', '-L', 'fonts-wine'])
        # The TrueType set gives Windows' dialog base units; sserife.fon is the bitmap
        # "MS Sans Serif" the program's windows ask for, so labels measure as on Windows.
        for path in out.decode().splitlines():
            if path.endswith('.ttf') or os.path.basename(path) == 'sserife.fon':
                shutil.copy(path, fonts)
        # Managed=N: Wine positions and decorates windows itself (no 2 s stall per hidden window
        # without a window manager); no caret blink, so screen captures are stable.
        self.import_reg('\r\n'.join([
            'REGEDIT4', '',
            r'[HKEY_CURRENT_USER\Software\Wine\X11 Driver]', '"Managed"="N"', '',
            r'[HKEY_CURRENT_USER\Control Panel\Desktop]', '"CursorBlinkRate"="-1"', '']) + '\r\n', 64)
        # Let the set-up's server end, then keep one alive for the whole run.
        check_quiet(['wineserver', '-w'], self.env(), timeout=60)
        check_quiet(['wineserver', '-p'], self.env(), timeout=30)

    def _write_odbc_config(self):
        """odbcinst.ini naming FreeTDS of the build's bitness as the driver "SQL Server", for
        Wine's odbc32 to find through unixODBC (ODBCSYSINI points here): the file the build's
        configure step wrote (tests/support/odbc_probe), copied so that the session holds it."""
        built = os.path.join(self.build_dir, 'odbc', 'odbcinst.ini')
        if not os.path.exists(built):
            raise AssertionError('%s missing: configure the Windows build first' % built)
        with open(built) as f:
            text = f.read()
        if not re.search(r'^Driver=/', text, re.MULTILINE):
            raise AssertionError('%s names no driver (scripts/setup installs it; then configure again)' % built)
        folder = os.path.join(self.state_dir, 'odbc')
        os.makedirs(folder, exist_ok=True)
        with open(os.path.join(folder, 'odbcinst.ini'), 'w') as f:
            f.write(text)
        with open(os.path.join(folder, 'odbc.ini'), 'w') as f:
            f.write('')

    def import_reg(self, text, view):
        """Imports REGEDIT4 text into the 32- or 64-bit registry view (synchronously)."""
        path = os.path.join(self.drive_c, 'e2e-import.reg')
        with open(path, 'w', newline='') as f:
            f.write(text)
        try:
            self.wine(['reg', 'import', r'C:\e2e-import.reg', '/reg:%d' % view])
        finally:
            os.remove(path)

    def stop(self):
        if not self.load():
            return
        if os.path.isdir(self.prefix):
            try:
                run_quiet(['wineserver', '-k'], self.env(), timeout=60)
            except AssertionError as e:
                log(str(e))
            if os.environ.get('E2E_KEEP_PREFIX') != '1':
                shutil.rmtree(self.prefix, ignore_errors=True)
        pid = self.state.get('xvfb_pid')
        if pid and _is_process(pid, 'Xvfb'):
            os.kill(pid, signal.SIGTERM)
            try:
                wait_until('Xvfb to end', 10, lambda: not _is_process(pid, 'Xvfb'))
            except AssertionError:
                os.kill(pid, signal.SIGKILL)
        os.remove(self.state_file)
        self.state = {}

    # -- windows, keys, screen --

    def windows(self, exe=None, pid=None, settle=False):
        """Top-level windows (with their controls) as the inspector prints them; with settle,
        each read once its thread has answered a message (field 'answered')."""
        args = ['list'] + (['--exe', exe] if exe else []) + (['--pid', str(pid)] if pid else [])
        args += ['--settle'] if settle else []
        out = self.wine([self.helper('inspector')] + args, timeout=30, bits=self.bits)
        return json.loads(out.decode('utf-8'))['windows']

    def wait_window(self, what, timeout=20, exe=None, **match):
        """Waits for a top-level window whose fields equal match (e.g. cls='#32770',
        caption='Setup', visible=True); returns it."""
        def probe():
            for w in self.windows(exe=exe):
                if window_matches(w, match):
                    return w
            return None
        return wait_until(what, timeout, probe)

    def wait_ready(self, what, timeout=20, exe=None, **match):
        """Waits for a top-level window whose fields equal match to be as the operator meets it
        (ready_for_input); returns it. A window is shown before it is made foreground and before
        its focus is placed, so its first visible state is never the one to check; and a thread
        may pass through a focus on its way to another, so each window is read only once its
        thread is back at its messages."""
        seen = []

        def probe():
            found = [w for w in self.windows(exe=exe, settle=True) if window_matches(w, match)]
            seen[:] = [(w['caption'], w['answered'], w['visible'], w['foreground'], w['active'], w['focus'])
                       for w in found]
            return next((w for w in found if ready_for_input(w)), None)
        try:
            return wait_until(what + ' on screen, foreground, active and focused', timeout, probe)
        except AssertionError as e:
            raise AssertionError('%s; last seen (caption, answered, visible, foreground, active, focus): %r' %
                                 (e, seen))

    def post(self, hwnd, what):
        self.wine([self.helper('inspector'), 'post', str(hwnd), what], bits=self.bits)

    def xdotool(self, args, timeout=15):
        return check_quiet(['xdotool'] + args, self.env(), timeout).decode()

    def x_window(self, window, timeout=15):
        """X window id of a window: given as the inspector printed it, the visible X window with
        its caption as title and its place and size; given as a title, the largest visible X
        window of that title. (A Wine process has other X windows of the same title, e.g. a 1x1
        one for the 0x0 application window.)"""
        title = window['caption'] if isinstance(window, dict) else window
        regex = '^' + re.sub(r'([][.()*+?{}|^$\\])', r'\\\1', title) + '$'

        def probe():
            rc, out, _ = run_quiet(['xdotool', 'search', '--onlyvisible', '--name', regex], self.env(), 15)
            found = []
            for wid in out.decode().split() if rc == 0 else []:
                rc, geo, _ = run_quiet(['xdotool', 'getwindowgeometry', '--shell', wid], self.env(), 15)
                f = {k: int(v) for k, v in (line.split('=', 1) for line in geo.decode().split() if '=' in line)
                     if k in ('X', 'Y', 'WIDTH', 'HEIGHT')}
                if len(f) == 4:
                    found.append(([f['X'], f['Y'], f['X'] + f['WIDTH'], f['Y'] + f['HEIGHT']], wid))
            if isinstance(window, dict):
                return next((wid for rect, wid in found if rect == window['rect']), None)
            found.sort(key=lambda x: (x[0][2] - x[0][0]) * (x[0][3] - x[0][1]))
            return found[-1][1] if found else None
        return wait_until('X window of "%s"' % title, timeout, probe)

    def keys(self, window, *keys):
        """Focuses window (as the inspector printed it, or its title) and presses keys (xdotool
        names, e.g. 'Return', 'alt+F4')."""
        wid = self.x_window(window)
        self.xdotool(['windowfocus', '--sync', wid])
        self.xdotool(['key', '--delay', '50'] + list(keys))

    def _grab(self, rect, output):
        """Runs ImageMagick's import on a screen rectangle [left, top, right, bottom]."""
        l, t, r, b = rect
        return check_quiet(['import', '-display', self.state['display'], '-window', 'root',
                            '-crop', '%dx%d+%d+%d' % (r - l, b - t, l, t), '+repage'] + output, self.env(), 30)

    def screen_pixels(self, rect):
        """RGB triples of a screen rectangle [left, top, right, bottom]."""
        out = self._grab(rect, ['-depth', '8', 'rgb:-'])
        return [tuple(out[i:i + 3]) for i in range(0, len(out) - 2, 3)]

    def screenshot(self, rect, path):
        """Writes a screen rectangle [left, top, right, bottom] as a PNG file."""
        os.makedirs(os.path.dirname(path), exist_ok=True)
        self._grab(rect, [path])

    def text_extent(self, text, height, face='MS Sans Serif'):
        """(width, height) of text in the font CreateFont gives for face at height pixels, and
        the face really taken: what a program's control asking for that font draws."""
        out = json.loads(self.wine([self.helper('inspector'), 'extent', face, str(height), text],
                                   bits=self.bits).decode('utf-8'))
        return (out['cx'], out['cy']), out['face']

    @contextlib.contextmanager
    def screen_settings(self, dpi, bitmap_font):
        """For the programs started inside it: the screen at dpi dots per inch, and "MS Sans
        Serif" without its bitmap font when bitmap_font is false (Wine then takes a wider
        outline face). Both are read at each process start; both are undone afterwards."""
        font = os.path.join(self.drive_c, 'windows', 'Fonts', 'sserife.fon')
        aside = os.path.join(self.state_dir, 'sserife.fon')
        set_dpi = lambda value: self.import_reg('\r\n'.join([
            'REGEDIT4', '', r'[HKEY_CURRENT_USER\Control Panel\Desktop]', '"LogPixels"=dword:%08x' % value, '']), 64)
        try:
            if not bitmap_font:
                os.replace(font, aside)
            set_dpi(dpi)
            yield
        finally:
            set_dpi(96)
            if os.path.exists(aside):
                os.replace(aside, font)

    @contextlib.contextmanager
    def system_colours(self, **colours):
        """For the programs started inside it: the colour scheme's entries given (name='r g b', as
        "Control Panel\\Colors" holds them, e.g. WindowText='255 255 255'). They are read at each
        process start; each is put back as it was afterwards."""
        key = r'HKCU\Control Panel\Colors'
        before = {}
        for name in colours:
            rc, out, _ = self.run_wine(['reg', 'query', key, '/v', name])
            found = re.search(rb'REG_SZ\s+([0-9 ]+?)\s*$', out, re.M) if rc == 0 else None
            before[name] = found.group(1).decode() if found else None
        write = lambda values: self.import_reg('\r\n'.join(
            ['REGEDIT4', '', r'[HKEY_CURRENT_USER\Control Panel\Colors]'] +
            ['"%s"=%s' % (n, '-' if v is None else '"%s"' % v) for n, v in values.items()] + ['']), 64)
        try:
            write(colours)
            yield
        finally:
            write(before)

    # -- the SQL Server stand-in (native build) --

    def native_dir(self):
        return os.environ.get('UPG_NATIVE_BUILD_DIR') or os.environ.get('E2E_NATIVE_DIR_DEFAULT') or \
            os.path.join(SOURCE_DIR, 'build', 'native')


def _is_process(pid, name):
    try:
        with open('/proc/%d/cmdline' % pid, 'rb') as f:
            return os.path.basename(f.read().split(b'\0')[0]).decode(errors='replace') == name
    except OSError:
        return False


def unix_to_z(path):
    return 'Z:' + os.path.abspath(path).replace('/', '\\')


def window_matches(w, match):
    for k, v in match.items():
        field = 'class' if k == 'cls' else k
        if w.get(field) != v:
            return False
    return True


WS_TABSTOP = 0x10000


def ready_for_input(w):
    """Whether the operator can type into top-level window w (as windows(settle=True) gives it):
    its thread is back at its messages, it is on screen, the foreground window and its thread's
    active window, and holds the keyboard focus: on one of its controls when any of them takes
    the focus, else itself."""
    if not (w['answered'] and w['visible'] and w['foreground'] and w['active']):
        return False
    takers = [c['hwnd'] for c in w['children'] if c['style'] & WS_TABSTOP and c['visible'] and c['enabled']]
    return w['focus'] in takers if takers else w['focus'] == w['hwnd']


def child(window, **match):
    """The first control of window whose fields equal match, or None."""
    for c in window.get('children', []):
        if window_matches(c, match):
            return c
    return None


# ---------------------------------------------------------------------------------------------
# The SQL Server stand-in. Its state file format and journal are described in tools/World.h and
# tools/Journal.h.

class Standin:
    def __init__(self, session, folder, state):
        exe = os.path.join(session.native_dir(), 'tools', 'sqlstandin')
        if not os.access(exe, os.X_OK):
            raise AssertionError('SQL Server stand-in not built: %s (build the native preset, or set '
                                 'UPG_NATIVE_BUILD_DIR)' % exe)
        os.makedirs(folder, exist_ok=True)
        self.state_path = os.path.join(folder, 'standin-state.json')
        self.journal_path = os.path.join(folder, 'standin-journal.jsonl')
        port_file = os.path.join(folder, 'standin-port')
        for p in (self.journal_path, port_file):
            if os.path.exists(p):
                os.remove(p)
        with open(self.state_path, 'w') as f:
            json.dump(state, f, indent=1)
        self._log = open(os.path.join(folder, 'standin.log'), 'wb')
        self.proc = subprocess.Popen([exe, '--state', self.state_path, '--journal', self.journal_path,
                                      '--port-file', port_file],
                                     stdin=subprocess.DEVNULL, stdout=self._log, stderr=self._log)
        try:
            wait_until('the stand-in to listen', 15,
                       lambda: os.path.exists(port_file) or self.proc.poll() is not None)
            if self.proc.poll() is not None:
                raise AssertionError('stand-in ended at start, rc %d' % self.proc.returncode)
            with open(port_file) as f:
                self.port = int(f.read().strip())
        except AssertionError:
            self.stop()
            raise

    @property
    def server(self):
        """The server name a registry value Pallado_Connection gives FreeTDS."""
        return '127.0.0.1,%d' % self.port

    def journal(self):
        """The events journaled so far, one dict per JSON line."""
        if not os.path.exists(self.journal_path):
            return []
        with open(self.journal_path) as f:
            return [json.loads(line) for line in f if line.strip()]

    def stop(self):
        if self.proc.poll() is None:
            self.proc.send_signal(signal.SIGTERM)
            try:
                self.proc.wait(timeout=10)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()
        self._log.close()


# ---------------------------------------------------------------------------------------------
# Scenarios.

class Program:
    """A started Windows program (the loader's unix process is the program's process)."""

    def __init__(self, proc, started):
        self.proc = proc
        self.started = started

    def running(self):
        return self.proc.poll() is None

    def wait(self, timeout=30):
        """Waits for the end; returns the exit code. Fails (and kills it) after timeout."""
        try:
            return self.proc.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            self.kill()
            raise AssertionError('program still running after %ss' % timeout)

    def kill(self):
        if self.proc.poll() is None:
            self.proc.kill()
            self.proc.wait()


class Holder:
    """holder.exe keeping a file open (access 'r', 'w' or 'rw'; share 'none' or letters of
    'rwd') until release(), as another program holding the log would; options go to holder as
    they are (e.g. '--cycle', '30', '100')."""

    def __init__(self, session, win_path, access, share, *options, timeout=15):
        for attempt in range(3):   # as Session.run_wine, when Wine could not start it
            line, err = self._start(session, [win_path, access, share] + list(options), timeout)
            if line.strip() == b'ready' or WINE_COULD_NOT_START not in err or attempt == 2:
                break
            self.release()
            log('Wine could not start holder; again')
        if line.strip() != b'ready':
            self.release()
            raise AssertionError('holder could not open %s: %r %r' % (win_path, line, err))

    def _start(self, session, args, timeout):
        """Starts holder; returns its first line and, when it ended without one, its stderr."""
        self._err = tempfile.TemporaryFile()
        self.proc = subprocess.Popen([session.loader(), session.helper('holder')] + args + ['--stdin'],
                                     env=session.env(), cwd=session.drive_c,
                                     stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=self._err)
        line = b''
        deadline = time.monotonic() + timeout
        while not line.endswith(b'\n'):
            left = deadline - time.monotonic()
            if left <= 0 or not select.select([self.proc.stdout], [], [], left)[0]:
                self.release()
                raise AssertionError('holder did not report within %ss' % timeout)
            chunk = os.read(self.proc.stdout.fileno(), 64)
            if not chunk:
                self.proc.wait(timeout=15)
                self._err.seek(0)
                return line, self._err.read()
            line += chunk
        return line, b''

    def release(self):
        """Lets the file go; returns holder's exit code (0 when it was told to stop)."""
        if self.proc.stdin and not self.proc.stdin.closed:
            self.proc.stdin.close()
        try:
            return self.proc.wait(timeout=15)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            self.proc.wait()
            raise AssertionError('holder did not end after its input closed')
        finally:
            self.proc.stdout.close()
            self._err.close()


class Scenario:
    """A fresh installation tree C:\\e2e\\<name>\\ (or root, a C:\\ path) in the prefix, the
    installation key, and the programs started from it."""

    def __init__(self, session, name, root=None):
        self.session = session
        self.name = name
        self.root = root or 'C:\\e2e\\' + name
        shutil.rmtree(self.unix(self.root), ignore_errors=True)
        os.makedirs(self.unix(self.root))
        self.programs = []

    def unix(self, win_path):
        """Unix path of a C:\\ path in the prefix."""
        assert win_path[:3].upper() == 'C:\\', win_path
        return os.path.join(self.session.drive_c, *[p for p in win_path[3:].split('\\') if p])

    def path(self, rel):
        return self.root + '\\' + rel

    def mkdir(self, win_path):
        os.makedirs(self.unix(win_path), exist_ok=True)

    def exists(self, win_path):
        return os.path.exists(self.unix(win_path))

    def install(self, file_name='Setup.exe', folder='Prog\\Upgrade'):
        """Copies the built program into the tree under file_name; returns its Windows path."""
        target = self.path(folder + '\\' + file_name)
        os.makedirs(os.path.dirname(self.unix(target)), exist_ok=True)
        shutil.copy(self.session.setup_exe, self.unix(target))
        return target

    def write_key(self, values, view=32):
        """Replaces the installation key: values as reg_file takes them, or None for no key at
        all. The scenarios write the 32-bit view, where the 32-bit installation writes it (the
        64-bit build reads the native view only when the key is absent there).
        (A "[-key]" line in an imported file ignores /reg:32 under Wine, hence reg delete.)"""
        s = self.session
        rc, out, err = s.run_wine(['reg', 'delete', KEY, '/f', '/reg:%d' % view])
        if rc != 0 and b'Unable to find' not in out + err:
            raise AssertionError('reg delete failed: %r' % (out + err))
        if values is not None:
            s.import_reg(reg_file(values), view)

    def start(self, exe, show=None, desktop=None, args=(), code=None, stdout=subprocess.DEVNULL, env=None):
        """Starts exe (a Windows path) with args, through launch.exe with show command show
        (default SW_SHOWNORMAL) when show, desktop ('STATION\\DESKTOP') or code is given; killing
        the program then kills launch.exe, which takes exe and what it started along. With code (a
        Windows path), launch writes exe's whole exit code there and then waits for what exe left
        running. stdout: a file for exe's output. env: variables added for this start. The current
        folder is the scenario root, so C: is the current drive."""
        s = self.session
        cmd = [s.loader()]
        if show is not None or desktop or code:
            cmd += [s.helper('launch')] + (['--desktop', desktop] if desktop else []) + \
                (['--code', code] if code else []) + [str(1 if show is None else show)]
        cmd += [exe] + list(args)
        proc = subprocess.Popen(cmd, env=s.env(env), cwd=self.unix(self.root), stdin=subprocess.DEVNULL,
                                stdout=stdout, stderr=subprocess.DEVNULL)
        program = Program(proc, time.time())
        self.programs.append(program)
        return program

    def read(self, win_path):
        with open(self.unix(win_path), 'rb') as f:
            return f.read()

    def files(self):
        """Every file and folder under the scenario root, as Windows paths relative to it."""
        found = []
        top = self.unix(self.root)
        for folder, dirs, names in os.walk(top):
            for n in dirs + names:
                found.append(os.path.relpath(os.path.join(folder, n), top).replace('/', '\\'))
        return sorted(found)

    def close(self):
        for p in self.programs:
            p.kill()


class E2ETestCase(unittest.TestCase):
    """Base of the scenario classes: self.session, self.scenario(name), log assertions."""

    session = None

    @classmethod
    def setUpClass(cls):
        cls.session = Session.from_environment()
        if not cls.session.load():
            raise AssertionError('no e2e session: run `harness.py start` first (ctest does)')
        if cls.session.unavailable:
            raise unittest.SkipTest(cls.session.unavailable)

    def scenario(self, name=None):
        sc = Scenario(self.session, name or self.id().split('.')[-1])
        self.addCleanup(sc.close)
        return sc

    def assertLog(self, data, lines, since=None, until=None):
        """data must be exactly lines, each followed by CR LF, with '{stamp}' matching a time
        stamp; stamps must lie between since and until (epoch seconds) when given."""
        m = log_pattern(lines).fullmatch(data)
        if not m:
            self.fail('log differs.\nexpected (one per line, {stamp} = time stamp):\n%s\nactual bytes:\n%s' %
                      ('\n'.join(repr(l) for l in lines), '\n'.join(repr(l) for l in data.split(b'\r\n'))))
        stamps = [parse_stamp(s) for s in m.groups()]
        if since is not None:
            for s in stamps:
                self.assertGreaterEqual(s, int(since) - 1, 'stamp before the run started')
        if until is not None:
            for s in stamps:
                self.assertLessEqual(s, until + 1, 'stamp after the run ended')
        self.assertEqual(stamps, sorted(stamps), 'stamps out of order')
        return stamps


def smoke(test):
    """Marks a scenario (method or class) as part of the smoke set that the 64-bit build runs
    (and either build with E2E_SMOKE=1)."""
    test.e2e_smoke = True
    return test


def _flatten(suite):
    for t in suite:
        if isinstance(t, unittest.TestSuite):
            yield from _flatten(t)
        else:
            yield t


class _TimedResult(unittest.TextTestResult):
    """Prints how long each scenario took, to keep the run lean."""

    def startTest(self, test):
        self._t0 = time.monotonic()
        super().startTest(test)

    def stopTest(self, test):
        super().stopTest(test)
        self.stream.writeln('    (%.1f s)' % (time.monotonic() - self._t0))


def run_modules(names):
    session = Session.from_environment()
    own = False
    if not session.load():
        session.start()   # run by hand: a session of our own for this run
        own = True
    try:
        if session.unavailable:
            log('skipped: ' + session.unavailable)
            return SKIP
        sys.path.insert(0, HERE)
        suite = unittest.defaultTestLoader.loadTestsFromNames(names)
        tests = list(_flatten(suite))
        if session.smoke_only:
            tests = [t for t in tests if getattr(t, 'e2e_smoke', False) or
                     getattr(getattr(t, t._testMethodName, None), 'e2e_smoke', False)]
            log('%d-bit build: smoke set only (%d scenarios)' % (session.bits, len(tests)))
        if not tests:
            log('no scenario to run for this build')
            return SKIP
        t0 = time.monotonic()
        result = unittest.TextTestRunner(verbosity=2, stream=sys.stdout, resultclass=_TimedResult).run(
            unittest.TestSuite(tests))
        log('%d scenarios in %.1f s' % (result.testsRun, time.monotonic() - t0))
        return 0 if result.wasSuccessful() else 1
    finally:
        if own:
            session.stop()


def main(argv):
    enter_wine32_env([os.path.abspath(__file__)] + argv[1:])
    if len(argv) >= 2 and argv[1] == 'start':
        Session.from_environment().start()
        return 0
    if len(argv) >= 2 and argv[1] == 'stop':
        Session.from_environment().stop()
        return 0
    if len(argv) >= 3 and argv[1] == 'run':
        return run_modules(argv[2:])
    print('usage: harness.py start | stop | run test_module...', file=sys.stderr)
    return 2


if __name__ == '__main__':
    sys.exit(main(sys.argv))
