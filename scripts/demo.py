#!/usr/bin/python3
"""A whole upgrade, shown: the stand-in SQL Server with the main catalog and three catalogs whose
PORT.LOCATION is narrower than 140, an installation tree with the package runner and the package
file, the installation key, Setup.exe under Wine; then the upgrade log and the catalogs' widths
before and after. Exits non-zero when the upgrade did not complete."""
import json
import os
import sys

SOURCE = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(SOURCE, 'tests', 'e2e'))
import harness  # noqa: E402

CATALOGS = ('ZANT', 'ZANT_Backup', 'ZANT_model')
WORLD = {
    'logins': {'pallado_user': 'vermilion'},
    'catalogs': dict({'Pallado': {}}, **{c: {'port_table': True, 'location_width': w, 'ix_port_location': True}
                                        for c, w in zip(CATALOGS, (50, 80, 100))}),
}


def widths(path):
    with open(path) as f:
        catalogs = json.load(f)['catalogs']
    return {c: catalogs[c].get('location_width') for c in CATALOGS}


class DemoSession(harness.Session):
    """The harness's session, on the operator's display when there is one."""

    def _start_display(self):
        display = os.environ.get('DISPLAY')
        if display and harness.run_quiet(['xdpyinfo', '-display', display], timeout=10)[0] == 0:
            self.state['display'] = display
            return
        super()._start_display()


def main():
    harness.enter_wine32_env([os.path.abspath(__file__)] + sys.argv[1:])
    reason32 = harness.can_run_32bit()
    preset = 'win32' if reason32 is None else 'win64'
    if reason32:
        print('note: %s; the demo runs the 64-bit build of the same program' % reason32)
    build = os.path.join(SOURCE, 'build', preset)
    release = harness.release_label(build)
    session = DemoSession(os.path.join(SOURCE, 'build', 'demo'), build)
    session.start()
    standin = None
    try:
        standin = harness.Standin(session, os.path.join(session.state_dir, 'standin'), WORLD)
        sc = harness.Scenario(session, 'demo')
        local = sc.path('Quiln\\Client')
        sc.mkdir(local)
        runner_dir = sc.unix(local)
        with open(os.path.join(build, 'tests', 'support', 'dtsrun', 'dtsrun.exe'), 'rb') as src, \
                open(os.path.join(runner_dir, 'dtsrun.exe'), 'wb') as dst:
            dst.write(src.read())
        with open(os.path.join(runner_dir, 'dtsrun.cfg'), 'w') as f:
            f.write('delay_ms=1500\nexit_code=0\nreport=crlf\n')
        setup = sc.install('Setup.exe', 'Quiln\\Upgrade')
        with open(sc.unix(sc.path('Quiln\\Upgrade\\%s.dts' % release)), 'wb') as f:
            f.write(b'demo package\r\n')
        sc.write_key([('ServerPath', harness.REG_SZ, sc.path('Quiln\\Server')),
                      ('LocalPath', harness.REG_SZ, local),
                      ('Pallado_Connection', harness.REG_SZ, standin.server)])

        before = widths(standin.state_path)
        print('Catalogs before: ' + ', '.join('%s LOCATION(%s)' % kv for kv in before.items()))
        print('Running %s (%s build) against the stand-in at %s ...' % (setup, preset, standin.server))
        rc = sc.start(setup).wait(timeout=300)
        after = widths(standin.state_path)

        log_path = sc.path('Quiln\\Log\\%s.log' % release)
        print('\nUpgrade log %s:' % log_path)
        text = sc.read(log_path).decode('latin-1') if sc.exists(log_path) else ''
        print(text.replace('\r\n', '\n') or '(no log)')
        print('Catalogs after:  ' + ', '.join('%s LOCATION(%s)' % kv for kv in after.items()))
        print('Setup.exe exit code: %d' % rc)

        complete = (rc == 0 and all(w == 140 for w in after.values()) and
                    ' - Finished to invoke DTS file for %s\r\n' % release in text and
                    text.endswith('~ %s  --- finish update ---\r\n \r\n' % release))
        print('Upgrade complete.' if complete else 'Upgrade did NOT complete.')
        return 0 if complete else 1
    finally:
        if standin:
            standin.stop()
        session.stop()


if __name__ == '__main__':
    sys.exit(main())
