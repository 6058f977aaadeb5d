#!/usr/bin/python3
"""The release that scripts/release makes, Setup.exe and check-upgrade.exe for both builds: the
same bytes from two checkouts at different paths and times; signed with a throw-away
certificate, the signatures verify and one flipped byte breaks them; the checksums hold; the
stripped executables link their debug information, and Setup.exe keeps its manifest and
version; and the signed 32-bit Setup.exe runs one whole scenario under Wine.

usage: check_release.py SOURCE_DIR WORK_DIR SCENARIO
SCENARIO is a scenario of tests/e2e (module.Class.test), run by its harness in the session the
environment names. Exit code 77 when everything held but the scenario could not run here.
"""
import os
import shutil
import subprocess
import sys
import time
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, 'e2e'))
from harness import release_label  # noqa: E402

SKIP = 77
# dist/ folder: (object format, binutils prefix)
BUILDS = {'win32': ('pei-i386', 'i686-w64-mingw32-'), 'win64': ('pei-x86-64', 'x86_64-w64-mingw32-')}
PROGRAMS = ['Setup.exe', 'check-upgrade.exe']
FILES = [b + '/' + f for b in BUILDS for p in PROGRAMS for f in (p, p + '.debug')]


def run(cmd, **kw):
    return subprocess.run(cmd, capture_output=True, text=True, **kw)


def checkout(source, dest):
    """A copy of the source tree at dest, without build output; the fetched QEMU is shared."""
    shutil.copytree(source, dest, symlinks=True,
                    ignore=lambda d, names: [n for n in names if d == source and n in ('build', 'dist', '.git', '.cache')])
    if os.path.isdir(os.path.join(source, '.cache')):
        os.symlink(os.path.join(source, '.cache'), os.path.join(dest, '.cache'))


def release(top, env):
    t0 = time.monotonic()
    r = run([os.path.join(top, 'scripts', 'release')], cwd=top, env=env)
    if r.returncode != 0:
        raise SystemExit('FAIL: scripts/release in %s (rc %d):\n%s%s' % (top, r.returncode, r.stdout, r.stderr))
    print('release in %s: %.0f s' % (top, time.monotonic() - t0))
    return os.path.join(top, 'dist')


def make_certificate(folder, password):
    """A throw-away CA and a code-signing certificate it issued; returns (PKCS#12 file, CA file)."""
    def ssl(*args):
        r = run(['openssl'] + list(args), cwd=folder)
        if r.returncode != 0:
            raise SystemExit('FAIL: openssl %s: %s' % (args[0], r.stderr))
    ssl('req', '-x509', '-newkey', 'rsa:2048', '-nodes', '-keyout', 'ca.key', '-out', 'ca.pem', '-days', '2',
        '-subj', '/CN=Throw-away test CA', '-addext', 'basicConstraints=critical,CA:TRUE',
        '-addext', 'keyUsage=critical,keyCertSign,cRLSign')
    ssl('req', '-newkey', 'rsa:2048', '-nodes', '-keyout', 'signer.key', '-out', 'signer.csr',
        '-subj', '/CN=Throw-away code signer')
    with open(os.path.join(folder, 'signer.ext'), 'w') as f:
        f.write('basicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature\nextendedKeyUsage=codeSigning\n')
    ssl('x509', '-req', '-in', 'signer.csr', '-CA', 'ca.pem', '-CAkey', 'ca.key', '-CAcreateserial',
        '-out', 'signer.pem', '-days', '2', '-extfile', 'signer.ext')
    ssl('pkcs12', '-export', '-inkey', 'signer.key', '-in', 'signer.pem', '-certfile', 'ca.pem',
        '-out', 'signer.p12', '-passout', 'pass:' + password)
    return os.path.join(folder, 'signer.p12'), os.path.join(folder, 'ca.pem')


def section(objcopy, exe, name, tmp):
    """The bytes of a section of exe; empty when it has none."""
    out = os.path.join(tmp, 'section.bin')
    if os.path.exists(out):
        os.remove(out)
    run([objcopy, '--dump-section', '%s=%s' % (name, out), exe, os.path.join(tmp, 'copy.exe')])
    if not os.path.exists(out):
        return b''
    with open(out, 'rb') as f:
        return f.read()


def check_stripped(top, tmp, failures):
    """Each executable: no debug sections, a debug link whose name and CRC are those of the debug
    file beside it, which holds the debug information; Setup.exe intact for the binary check (with
    the label its build was configured with)."""
    dist = os.path.join(top, 'dist')
    for build, (fmt, prefix) in BUILDS.items():
        setup = os.path.join(dist, build, 'Setup.exe')
        r = run([os.path.join(HERE, 'check_setup_binary.py'), setup, fmt, prefix + 'objdump', prefix + 'objcopy',
                 release_label(os.path.join(top, 'build', 'release-' + build))])
        if r.returncode != 0:
            failures.append('%s: the binary check fails:\n%s%s' % (build, r.stdout, r.stderr))
        for program in PROGRAMS:
            exe = os.path.join(dist, build, program)
            debug = exe + '.debug'
            if not os.path.isfile(exe) or not os.path.isfile(debug):
                failures.append('%s: %s or its debug file is missing' % (build, program))
                continue
            headers = run([prefix + 'objdump', '-h', exe], check=True).stdout
            if '.debug_' in headers:
                failures.append('%s: %s still carries debug sections' % (build, program))
            if '.debug_info' not in run([prefix + 'objdump', '-h', debug], check=True).stdout:
                failures.append('%s: %s.debug holds no debug information' % (build, program))
            link = section(prefix + 'objcopy', exe, '.gnu_debuglink', tmp)
            name = link.split(b'\0', 1)[0]
            with open(debug, 'rb') as f:
                crc = zlib.crc32(f.read())
            if name != (program + '.debug').encode() or link[-4:] != crc.to_bytes(4, 'little'):
                failures.append('%s: debug link %r does not name %s.debug with its CRC %08x' %
                                (build, link, program, crc))


def check_signed(dist, ca, tmp, failures):
    """Every signature verifies against the CA; one flipped byte makes verification fail; the
    checksums are those of the signed files and cover every file."""
    for build in BUILDS:
        for program in PROGRAMS:
            exe = os.path.join(dist, build, program)
            r = run(['osslsigncode', 'verify', '-CAfile', ca, '-in', exe])
            if r.returncode != 0 or 'Signature verification: ok' not in r.stdout:
                failures.append('%s: the signature of %s does not verify:\n%s%s' % (build, program, r.stdout, r.stderr))
            with open(exe, 'rb') as f:
                data = bytearray(f.read())
            data[len(data) // 2] ^= 0x01
            tampered = os.path.join(tmp, build + '-tampered-' + program)
            with open(tampered, 'wb') as f:
                f.write(data)
            if run(['osslsigncode', 'verify', '-CAfile', ca, '-in', tampered]).returncode == 0:
                failures.append('%s: %s with a flipped byte still verifies' % (build, program))
    r = run(['sha256sum', '-c', '--strict', 'SHA256SUMS'], cwd=dist)
    if r.returncode != 0:
        failures.append('sha256sum -c fails:\n' + r.stdout + r.stderr)
    listed = sorted(line.split('  ', 1)[1] for line in open(os.path.join(dist, 'SHA256SUMS')).read().splitlines())
    if listed != sorted(FILES):
        failures.append('SHA256SUMS lists %s, not %s' % (listed, sorted(FILES)))


def main():
    source, work, scenario = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2]), sys.argv[3]
    shutil.rmtree(work, ignore_errors=True)
    tmp = os.path.join(work, 'tmp')
    os.makedirs(tmp)
    one, two = os.path.join(work, 'one', 'upgrade'), os.path.join(work, 'second-checkout', 'up')
    checkout(source, one)
    checkout(source, two)
    env = {k: v for k, v in os.environ.items() if not k.startswith('SIGN_')}
    env['SOURCE_DATE_EPOCH'] = str(int(time.time()))
    failures = []

    # Two checkouts, one after the other: byte for byte the same.
    first = release(one, env)
    second = release(two, env)
    for f in FILES:
        if run(['cmp', os.path.join(first, f), os.path.join(second, f)]).returncode != 0:
            failures.append('%s differs between the two checkouts' % f)

    password = 'throw away "pw"'
    p12, ca = make_certificate(tmp, password)
    signed = release(two, dict(env, SIGN_PKCS12=p12, SIGN_PASSWORD=password))
    check_signed(signed, ca, tmp, failures)
    check_stripped(two, tmp, failures)

    r = subprocess.run([sys.executable, os.path.join(HERE, 'e2e', 'harness.py'), 'run', scenario],
                       env=dict(os.environ, E2E_SETUP_EXE=os.path.join(signed, 'win32', 'Setup.exe')))
    if r.returncode not in (0, SKIP):
        failures.append('the signed release Setup.exe fails %s (rc %d)' % (scenario, r.returncode))

    for f in failures:
        print('FAIL: ' + f)
    if failures:
        print('left for a look: ' + work)
        return 1
    shutil.rmtree(work, ignore_errors=True)
    return SKIP if r.returncode == SKIP else 0


if __name__ == '__main__':
    sys.exit(main())
