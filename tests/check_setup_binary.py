#!/usr/bin/python3
"""Checks what Setup.exe is made of: the machine, the GUI subsystem, imports only from DLLs that
Windows ships, the manifest (common controls 6, administrator level) and the release's version.

usage: check_setup_binary.py SETUP.EXE pei-i386|pei-x86-64 OBJDUMP OBJCOPY VERSION
"""
import os
import re
import subprocess
import sys
import tempfile

SYSTEM_DLLS = {'kernel32.dll', 'user32.dll', 'gdi32.dll', 'advapi32.dll', 'ole32.dll',
               'odbc32.dll', 'msvcrt.dll', 'comctl32.dll', 'shell32.dll'}


def main():
    exe, fmt, objdump, objcopy, version = sys.argv[1:6]
    failures = []
    headers = subprocess.run([objdump, '-p', exe], check=True, capture_output=True, text=True).stdout
    if ('file format ' + fmt) not in headers:
        failures.append('not a %s image' % fmt)
    if not re.search(r'Subsystem\s+00000002', headers):
        failures.append('not the Windows GUI subsystem')
    dlls = {d.lower() for d in re.findall(r'DLL Name: (\S+)', headers)}
    if not dlls or not dlls <= SYSTEM_DLLS:
        failures.append('imports from DLLs Windows does not ship: %s' % sorted(dlls - SYSTEM_DLLS))

    with tempfile.TemporaryDirectory() as tmp:
        rsrc = os.path.join(tmp, 'rsrc.bin')
        subprocess.run([objcopy, '-O', 'binary', '--only-section=.rsrc', exe, rsrc], check=True)
        data = open(rsrc, 'rb').read()
    for needle in (b'requestedExecutionLevel level="requireAdministrator"',
                   b'name="Microsoft.Windows.Common-Controls" version="6.0.0.0"', b'<supportedOS Id=',
                   b'WindowsSettings">true</dpiAware>'):
        if needle not in re.sub(rb'\s+', b' ', data):
            failures.append('manifest lacks %s' % needle.decode())
    if ('FileVersion\0\0' + version).encode('utf-16-le') not in data and \
            ('FileVersion\0' + version).encode('utf-16-le') not in data:
        failures.append('version resource does not carry ' + version)
    if ('version="%s.0"' % version).encode() not in data:
        failures.append('manifest does not carry version %s.0' % version)

    for f in failures:
        print('FAIL: ' + f)
    print('imports: ' + ', '.join(sorted(dlls)))
    return 1 if failures else 0


if __name__ == '__main__':
    sys.exit(main())
