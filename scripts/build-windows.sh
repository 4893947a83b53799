#!/usr/bin/env bash
# The Windows build, tested under Wine: cross-builds transzanderxel-batch.exe (static, needing
# only system DLLs) and the unit tests with MinGW-w64, runs the tests under wine, runs both jobs
# on examples/ under Wine and compares every table and fCUADROS.txt byte for byte with the
# Linux build's, reads the Windows tables back with Python's dbfread and Perl XBase on the Linux
# side, and checks what only Wine can show: a table held by another Windows program, the Linux
# batch refusing a table that a program run under Wine has locked, and Zandrix.ini read back
# through GetPrivateProfileIntA.
# Usage: scripts/build-windows.sh [LINUX_BATCH]   (default: builds one in build-windows-host)
# Env: WIN_BUILD_DIR (build-windows), WINEPREFIX (a scratch prefix under the build folder).
set -euo pipefail
cd "$(dirname "$0")/.."
SRC=$PWD
WB=${WIN_BUILD_DIR:-build-windows}
start=$(date +%s)
say() { echo "build-windows: $*"; }
fail() { echo "build-windows: FAIL: $*" >&2; exit 1; }

# -O1 by default: CI compiles everything cold, and -O1 takes far less time than -O3 for the
# same behaviour (WIN_BUILD_TYPE=Release for a build to hand out).
OPT=$([ "${WIN_BUILD_TYPE:-}" = Release ] && echo "-O3 -DNDEBUG" || echo "-O1 -DNDEBUG")
cmake -S . -B "$WB" -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw64.cmake \
  -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS_RELEASE="$OPT" \
  -DTZ_WERROR="${TZ_WERROR:-ON}" >/dev/null
cmake --build "$WB" -j"$(nproc)"
BATCH_EXE=$PWD/$WB/src/cli/transzanderxel-batch.exe
say "built in $(( $(date +%s) - start )) s"

# Static: only the system's own DLLs.
dlls=$(x86_64-w64-mingw32-objdump -p "$BATCH_EXE" | sed -n 's/^\s*DLL Name: //p' | tr 'A-Z' 'a-z' | sort -u)
for d in $dlls; do
  case $d in kernel32.dll|msvcrt.dll|shell32.dll|user32.dll|advapi32.dll|ws2_32.dll) ;;
    *) fail "transzanderxel-batch.exe needs $d" ;;
  esac
done
say "transzanderxel-batch.exe needs only: $(echo $dlls)"

# A Wine prefix of our own, with a server kept for the whole run (stopped at the end).
export WINEPREFIX=${WINEPREFIX:-$PWD/$WB/wineprefix}
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
wineboot -i >/dev/null 2>&1 || true
wineserver -p 60 2>/dev/null || true  # already running: keep that one
trap 'wineserver -k >/dev/null 2>&1 || true' EXIT

ctest --test-dir "$WB" -j"$(nproc)" --output-on-failure --timeout 600
say "unit tests under Wine done at $(( $(date +%s) - start )) s"

# The Linux batch to compare with.
LINUX_BATCH=${1:-}
if [ -z "$LINUX_BATCH" ]; then
  cmake -S . -B "$WB-host" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTZ_BUILD_GUI=OFF \
    -DTZ_BUILD_BENCH=OFF -DBUILD_TESTING=OFF >/dev/null
  cmake --build "$WB-host" -j"$(nproc)" --target transzanderxel-batch
  LINUX_BATCH=$PWD/$WB-host/src/cli/transzanderxel-batch
fi

WORK=$(mktemp -d)
[ -n "${KEEP:-}" ] || trap 'wineserver -k >/dev/null 2>&1 || true; rm -rf "$WORK"' EXIT
zpath() { echo "Z:$(realpath -m "$1" | tr / '\\')"; }  # a Linux path as Wine's drive Z: sees it
winbatch() { wine "$BATCH_EXE" "$@"; }

# Both jobs on the sample school, by each build, in folders of the same shape.
for side in linux windows; do
  mkdir -p "$WORK/$side/raiz/ZTEMP"
  cp -r examples/textos "$WORK/$side/textos"
  cp examples/raiz/ZTEMP/SOLUC.DBF "$WORK/$side/raiz/ZTEMP/"
done
L=$WORK/linux W=$WORK/windows
"$LINUX_BATCH" exportar --textos "$L/textos" --raiz "$L/raiz" --niveles examples/expected/niveles.txt \
  2>"$L/exportar.err"
"$LINUX_BATCH" importar --textos "$L/textos" --raiz "$L/raiz" --documentos examples/documentos.txt \
  2>"$L/importar.err"
winbatch exportar --textos "$(zpath "$W/textos")" --raiz "$(zpath "$W/raiz")" \
  --niveles "$(zpath examples/expected/niveles.txt)" 2>"$W/exportar.err" || fail "exportar under Wine: exit $?"
winbatch importar --textos "$(zpath "$W/textos")" --raiz "$(zpath "$W/raiz")" \
  --documentos "$(zpath examples/documentos.txt)" 2>"$W/importar.err" || fail "importar under Wine: exit $?"
for job in exportar importar; do
  # The messages name the same files; only the folder spelling differs.
  sed "s#$(zpath "$W" | sed 's/\\/\\\\/g')#WORK#g" "$W/$job.err" | tr -d '\r' >"$W/$job.msg"
  sed "s#$L#WORK#g" "$L/$job.err" >"$L/$job.msg"
  cmp -s "$L/$job.msg" "$W/$job.msg" || { diff "$L/$job.msg" "$W/$job.msg" >&2; fail "$job messages differ"; }
done
cmp "$W/textos/fCUADROS.txt" examples/expected/fCUADROS.txt || fail "fCUADROS.txt differs from the expected file"
cmp "$W/textos/fCUADROS.txt" "$L/textos/fCUADROS.txt" || fail "fCUADROS.txt differs from the Linux build's"
n=0
for f in "$L"/raiz/ZTEMP/*; do
  name=$(basename "$f")
  [ -f "$W/raiz/ZTEMP/$name" ] || fail "$name missing in the Windows run"
  cmp "$f" "$W/raiz/ZTEMP/$name" || fail "$name differs between the builds"
  n=$((n + 1))
done
[ "$(ls "$W/raiz/ZTEMP" | wc -l)" -eq "$n" ] || fail "the Windows run left other files: $(ls "$W/raiz/ZTEMP")"
say "both jobs under Wine: fCUADROS.txt and $n exchange files byte for byte as the Linux build's"

# Independent readers on the Linux side, over the files the Windows program wrote.
/usr/bin/python3 - "$W/raiz/ZTEMP" "$SRC/examples/expected" <<'PYEOF' || fail "dbfread over the Windows tables"
import csv, sys, dbfread
z, expected = sys.argv[1], sys.argv[2]
def rows(name):
    t = dbfread.DBF(f"{z}/{name}.DBF", encoding="cp1252")
    text = lambda v: "" if v is None else str(int(v)) if isinstance(v, float) and v == int(v) else str(v)
    return list(t.field_names), [[text(v) for v in r.values()] for r in t]
def want(name):
    with open(f"{expected}/{name}.csv", encoding="utf-8", newline="") as f:
        return list(csv.reader(f, delimiter=";"))
# What exportar made and importar leaves alone: as the checked-in listing.
for name in ("GRUPOST", "xelCENTRO", "xelNIVIMP", "xelASIGNAT", "xelTIPTAR", "xelIDIOMA",
             "xelOTRACT", "xelTIPDOC", "xelGRUPNIV"):
    fields, got = rows(name)
    w = want(name)
    assert fields == w[0] and got == w[1:], name
# The teachers: every one of the listing, and the substitute importar added with its document.
fields, got = rows("PROFT")
prof = {r[0]: dict(zip(fields, r)) for r in got}
assert all(r[0] in prof for r in want("PROFT")[1:])
assert prof["SUST"]["DNI"] == "Y7654321G", prof.get("SUST")
PYEOF
/usr/bin/perl -MXBase -e '
  for my $t (@ARGV) { my $x = XBase->new($t) or die XBase->errstr; $x->last_record >= 0 or die "$t empty"; }' \
  "$W/raiz/ZTEMP/PROFT.DBF" "$W/raiz/ZTEMP/CUADROH2.DBF" "$W/raiz/ZTEMP/CUADROH3.DBF" \
  || fail "Perl XBase over the Windows tables"
say "dbfread and Perl XBase read the Windows run's tables"

# A table held by another Windows program: refused with the usual message, nothing changed.
HOLD=$PWD/$WB/tests/windows/win_hold_table.exe
for how in lock share; do
  rm -f "$WORK/ready" "$WORK/stop"
  cp "$W/raiz/ZTEMP/PROFT.DBF" "$WORK/PROFT.before"
  wine "$HOLD" "$how" "$(zpath "$W/raiz/ZTEMP/PROFT.DBF")" "$(zpath "$WORK/ready")" "$(zpath "$WORK/stop")" &
  holder=$!
  for _ in $(seq 200); do [ -f "$WORK/ready" ] && break; sleep 0.05; done
  [ -f "$WORK/ready" ] || fail "the holder ($how) did not start"
  status=0
  winbatch exportar --textos "$(zpath "$W/textos")" --raiz "$(zpath "$W/raiz")" \
    --niveles "$(zpath examples/expected/niveles.txt)" 2>"$WORK/held.err" || status=$?
  touch "$WORK/stop"
  wait "$holder"
  tr -d '\r' <"$WORK/held.err" | grep -q "PROFT.DBF está siendo usada por otro programa\.$" \
    || { cat "$WORK/held.err" >&2; fail "a table held by another program ($how) was not refused"; }
  [ $status -eq 3 ] || fail "held table ($how): exit $status, not 3"
  cmp "$W/raiz/ZTEMP/PROFT.DBF" "$WORK/PROFT.before" || fail "PROFT.DBF changed while held ($how)"
  [ -f "$W/raiz/ZTEMP/PROFT.MDX" ] || fail "PROFT.MDX lost while the table was held ($how)"
done
say "a table held by another Windows program (LockFileEx, deny-write share mode) is refused"

# The Linux build against a Windows program run under Wine, as the timetabler runs on Linux:
# Wine turns LockFileEx into a POSIX record lock, which the Linux batch must respect. (A share
# mode stays inside Wine, so only the lock is seen from outside.)
rm -f "$WORK/ready" "$WORK/stop"
wine "$HOLD" lock "$(zpath "$W/raiz/ZTEMP/PROFT.DBF")" "$(zpath "$WORK/ready")" "$(zpath "$WORK/stop")" &
holder=$!
for _ in $(seq 200); do [ -f "$WORK/ready" ] && break; sleep 0.05; done
[ -f "$WORK/ready" ] || fail "the holder (lock, for the Linux batch) did not start"
status=0
"$LINUX_BATCH" exportar --textos "$W/textos" --raiz "$W/raiz" \
  --niveles examples/expected/niveles.txt 2>"$WORK/held.err" || status=$?
touch "$WORK/stop"
wait "$holder"
grep -q "PROFT.DBF está siendo usada por otro programa\.$" "$WORK/held.err" \
  || { cat "$WORK/held.err" >&2; fail "the Linux batch did not respect the Wine program's lock"; }
[ $status -eq 3 ] || fail "table locked under Wine: the Linux batch gave exit $status, not 3"
cmp "$W/raiz/ZTEMP/PROFT.DBF" "$WORK/PROFT.before" || fail "PROFT.DBF changed while locked under Wine"
say "the Linux batch respects a lock taken by a program run under Wine"

# Zandrix.ini by our writer, read back by the system's INI reader.
INI=$WORK/Zandrix.ini
printf '; Zandrix\r\n[Zandrix]\r\nRuta=C:\\ZDXM7\r\n[transformadores]\r\nTransformado=1\r\n' >"$INI"
for value in 0 -1 1; do
  wine "$PWD/$WB/tests/windows/win_write_ini.exe" "$(zpath "$INI")" "$value"
  got=$(wine "$PWD/$WB/tests/windows/win_read_ini.exe" "$(zpath "$INI")" Transformadores Transformado | tr -d '\r')
  [ "$got" = "$value" ] || fail "GetPrivateProfileIntA read $got for $value"
done
rm -f "$INI"
wine "$PWD/$WB/tests/windows/win_write_ini.exe" "$(zpath "$INI")" -1
got=$(wine "$PWD/$WB/tests/windows/win_read_ini.exe" "$(zpath "$INI")" Transformadores Transformado | tr -d '\r')
[ "$got" = "-1" ] || fail "a new Zandrix.ini: GetPrivateProfileIntA read $got"
say "Zandrix.ini reads back through GetPrivateProfileIntA"
say "all Windows checks passed in $(( $(date +%s) - start )) s"
