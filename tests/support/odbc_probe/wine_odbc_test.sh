#!/bin/sh
# The ODBC access layer's Windows build under Wine, against the native stand-in:
#   odbc_probe.exe -> Wine odbc32 -> unixODBC -> FreeTDS (TDS 7.4) -> sqlstandin on loopback.
# A login with a batch committed (the server must see the exact batch and apply it), a
# refused login, and an ODBC library that cannot be used.
#
#   wine_odbc_test.sh PROBE_EXE BITS SQLSTANDIN WORK_DIR ODBC_SYS_INI_DIR
#
# BITS (32 or 64) picks the Wine loader: the 32-bit one behind `wine`, or wine64 itself (so a
# 64-bit program gets no start.exe hop). WORK_DIR keeps a Wine prefix between runs (created on
# first use) plus the stand-in's files. Where the 32-bit loader runs only under scripts/wine32-env,
# the script runs itself again there. Exits 77 (skipped) when this host cannot run the loader.
set -eu
probe=$1 bits=$2 standin=$3 work=$4 ini=$5

fail() { echo "FAIL: $*"; exit 1; }
[ -x "$standin" ] || fail "no stand-in at $standin (build the native preset, or set SQLSTANDIN_EXE)"
grep -q '^Driver=/' "$ini/odbcinst.ini" || fail "$ini/odbcinst.ini names no driver"

mkdir -p "$work"
rm -f "$work/state.json" "$work/journal.jsonl" "$work/port" "$work/batch.sql" "$work/out.txt"
export WINEDEBUG=-all WINEPREFIX="$work/wineprefix" ODBCSYSINI="$ini" TDSVER=7.4
unset DISPLAY
if [ "$bits" = 64 ]; then
    wine=$(dpkg-query -L wine64 | grep '/wine/wine64$' | head -n1)
    export WINEARCH=win64
else
    wine=$(dpkg-query -L wine32:i386 | grep '/wine/wine$' | head -n1)
fi
[ -n "$wine" ] || fail "no $bits-bit Wine loader installed"
if ! out=$("$wine" --version 2>&1); then
    env32=$(dirname "$0")/../../../scripts/wine32-env
    if [ "$bits" = 32 ] && [ -z "${E2E_IN_WINE32_ENV:-}" ] && out=$("$env32" true 2>&1); then
        E2E_IN_WINE32_ENV=1 exec "$env32" sh "$0" "$@"
    fi
    echo "SKIPPED: this host cannot run the $bits-bit Wine loader ($wine): $out"
    exit 77
fi

standin_pid=
cleanup() {
    [ -z "$standin_pid" ] || kill "$standin_pid" 2>/dev/null || true
    wineserver -k 2>/dev/null || true
}
trap cleanup EXIT

if [ ! -f "$WINEPREFIX/system.reg" ]; then
    "$wine" wineboot --init >/dev/null 2>&1
    wineserver -w
fi

cat >"$work/state.json" <<'EOF'
{"logins": {"pallado_user": "vermilion"},
 "catalogs": {"ZANT": {"port_table": true, "location_width": 100, "ix_port_location": true}}}
EOF
"$standin" --state "$work/state.json" --journal "$work/journal.jsonl" --port-file "$work/port" >/dev/null &
standin_pid=$!
tries=0
until [ -s "$work/port" ]; do
    tries=$((tries + 1))
    [ "$tries" -le 100 ] || fail "the stand-in wrote no port within 10 s"
    sleep 0.1
done
server="127.0.0.1,$(cat "$work/port")"
"$standin" --print-schema-batch >"$work/batch.sql"
batch=$("$wine" winepath -w "$work/batch.sql" | tr -d '\r')

echo "== login and committed batch"
"$wine" "$probe" "$server" ZANT pallado_user vermilion "$batch" >"$work/out.txt" && rc=0 || rc=$?
out=$(tr -d '\r' <"$work/out.txt")
echo "$out"
[ "$rc" = 0 ] || fail "probe exit code $rc"
[ "$out" = "$(printf 'open ok\nbegin ok\nexecute ok\ncommit ok')" ] || fail "unexpected probe output"

echo "== refused login"
"$wine" "$probe" "$server" ZANT pallado_user wrong >"$work/out.txt" && rc=0 || rc=$?
out=$(tr -d '\r' <"$work/out.txt")
echo "$out"
[ "$rc" = 1 ] || fail "probe exit code $rc, expected 1"
case "$out" in *"(18456)"*"Login failed for user 'pallado_user'."*) ;; *) fail "no 18456 in the diagnostics" ;; esac

echo "== an ODBC library that cannot be loaded, or lacks an entry point: no connection is tried"
for library in no-such-odbc.dll:"cannot be loaded from the system folder" kernel32.dll:"lacks SQLAllocHandle"; do
    "$wine" "$probe" --library "${library%%:*}" "$server" ZANT pallado_user vermilion >"$work/out.txt" && rc=0 || rc=$?
    out=$(tr -d '\r' <"$work/out.txt")
    echo "$out"
    [ "$rc" = 1 ] || fail "probe exit code $rc, expected 1"
    case "$out" in "Open failed: ${library%%:*} ${library#*:}"*) ;; *) fail "not the open's failure" ;; esac
done

echo "== what the server saw"
/usr/bin/python3 - "$work" <<'EOF'
import json, sys
work = sys.argv[1]
events = [json.loads(l) for l in open(work + "/journal.jsonl", encoding="utf-8")]
batch = open(work + "/batch.sql", "rb").read().decode("ascii")
logins = [e for e in events if e["event"] == "login"]
assert [(e["accepted"], e["password"]) for e in logins] == [(True, "vermilion"), (False, "wrong")], logins
batches = [e for e in events if e["event"] == "batch"]
assert len(batches) == 1, batches
b = batches[0]
assert b["text"] == batch and b["length"] == len(batch) == 627, "batch text differs"
assert b["schema_change"] and b["outcome"] == "applied" and b["in_transaction"], b
commits = [e for e in events if e["event"] == "commit"]
assert len(commits) == 1 and commits[0]["changed"], commits
state = json.load(open(work + "/state.json"))
assert state["catalogs"]["ZANT"]["location_width"] == 140, state
print("journal and state as expected: exact 627-character batch, committed, LOCATION 140")
EOF
