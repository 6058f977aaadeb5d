#!/bin/sh
# scripts/wine32-env: Wine's 32-bit loader runs inside it, the command's exit code comes back,
# and nothing changes outside it. Where the host needs the emulator, a checkout without it gets
# one line and exit code 125.
set -u
top=$(cd "$(dirname "$0")/.." && pwd)
env32=$top/scripts/wine32-env
loader=/usr/lib/wine/wine
fail() { echo "FAIL: $*"; exit 1; }

out=$("$env32" "$loader" --version 2>&1) || fail "the 32-bit loader does not run inside: $out"
case "$out" in wine-*) ;; *) fail "unexpected version text: $out" ;; esac
"$env32" sh -c 'exit 7'; rc=$?
[ "$rc" = 7 ] || fail "exit code $rc came back, not 7"
[ "$("$env32" id -u)" = "$(id -u)" ] || fail "the command does not run as the caller"

if "$loader" --version >/dev/null 2>&1; then
  echo "this host runs 32-bit code itself: wine32-env only passes the command on"
  exit 0
fi
# Emulated: nobody outside the namespace sees the entry.
outside=$("$loader" --version 2>&1) && fail "the 32-bit loader runs outside wine32-env too"
[ ! -e /proc/sys/fs/binfmt_misc/qemu-i386 ] || fail "a machine-wide qemu-i386 entry is registered"

bare=$(mktemp -d)
trap 'rm -rf "$bare"' EXIT
mkdir "$bare/scripts" && cp "$env32" "$bare/scripts/"
out=$("$bare/scripts/wine32-env" "$loader" --version 2>&1); rc=$?
[ "$rc" = 125 ] || fail "without QEMU: exit code $rc, not 125"
[ "$(printf '%s\n' "$out" | wc -l)" = 1 ] || fail "without QEMU: more than one line: $out"
case "$out" in *qemu-i386*missing*) ;; *) fail "without QEMU: the line does not name it: $out" ;; esac
echo "emulated in a private namespace; outside it the loader still fails: $outside"
