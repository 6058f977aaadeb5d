#!/usr/bin/python3
"""Checks what Setup.exe is made of: the machine, the GUI subsystem, imports only from Windows'
KnownDLLs (mapped from Windows' own copies, never found in the program's folder), the manifest
(common controls 6, administrator level) and the release's version. With "console", the same for
check-upgrade.exe: the console subsystem, and a manifest asking for administrator rights with the
release's version (it shows no window and has no version resource).

usage: check_setup_binary.py EXE pei-i386|pei-x86-64 OBJDUMP OBJCOPY VERSION [console]
"""
import os
import re
import subprocess
import sys
import tempfile

# The KnownDLLs of every Windows from 7 on (Session Manager\KnownDLLs). Any other import, odbc32
# and comctl32 among them, is looked for in the program's folder first.
KNOWN_DLLS = {'advapi32.dll', 'clbcatq.dll', 'comdlg32.dll', 'difxapi.dll', 'gdi32.dll', 'imagehlp.dll',
              'imm32.dll', 'kernel32.dll', 'msctf.dll', 'msvcrt.dll', 'normaliz.dll', 'nsi.dll', 'ole32.dll',
              'oleaut32.dll', 'psapi.dll', 'rpcrt4.dll', 'sechost.dll', 'setupapi.dll', 'shell32.dll',
              'shlwapi.dll', 'user32.dll', 'wldap32.dll', 'ws2_32.dll'}


def main():
    exe, fmt, objdump, objcopy, version = sys.argv[1:6]
    console = sys.argv[6:] == ['console']
    failures = []
    headers = subprocess.run([objdump, '-p', exe], check=True, capture_output=True, text=True).stdout
    if ('file format ' + fmt) not in headers:
        failures.append('not a %s image' % fmt)
    if not re.search(r'Subsystem\s+0000000%d' % (3 if console else 2), headers):
        failures.append('not the Windows %s subsystem' % ('console' if console else 'GUI'))
    dlls = {d.lower() for d in re.findall(r'DLL Name: (\S+)', headers)}
    if not dlls or not dlls <= KNOWN_DLLS:
        failures.append('imports from DLLs that are no KnownDLLs: %s' % sorted(dlls - KNOWN_DLLS))

    with tempfile.TemporaryDirectory() as tmp:
        rsrc = os.path.join(tmp, 'rsrc.bin')
        subprocess.run([objcopy, '-O', 'binary', '--only-section=.rsrc', exe, rsrc], check=True)
        data = open(rsrc, 'rb').read()
    needles = [b'requestedExecutionLevel level="requireAdministrator"', b'<supportedOS Id=']
    if not console:
        needles += [b'name="Microsoft.Windows.Common-Controls" version="6.0.0.0"', b'WindowsSettings">true</dpiAware>']
    for needle in needles:
        if needle not in re.sub(rb'\s+', b' ', data):
            failures.append('manifest lacks %s' % needle.decode())
    if not console and ('FileVersion\0\0' + version).encode('utf-16-le') not in data and \
            ('FileVersion\0' + version).encode('utf-16-le') not in data:
        failures.append('version resource does not carry ' + version)
    if ('version="%s.0"' % version).encode() not in data:
        failures.append('manifest does not carry version %s.0' % version)

    for f in failures:
        print('FAIL: ' + f)
    print('imports%s: %s' % (' (KnownDLLs only)' if dlls and dlls <= KNOWN_DLLS else '', ', '.join(sorted(dlls))))
    return 1 if failures else 0


if __name__ == '__main__':
    sys.exit(main())
