#!/usr/bin/env bash
# Install test. A release build, installed into a temporary prefix with cmake --install:
# every expected file is there, the icons have their sizes, the desktop entry validates, the man
# pages render without warnings, and the installed batch runs the sample school to the expected
# fCUADROS.txt. Then the Debian package made by CPack: it declares its dependencies, and (as root,
# with debootstrap, unless TZ_DEB_CHROOT=0) `apt install ./….deb` into a fresh Debian 12 chroot,
# where both programs start and the batch runs the sample again.
#   scripts/install-test.sh          (build folder: $INSTALL_BUILD_DIR, else build-install)
set -euo pipefail
cd "$(dirname "$0")/.."
SRC=$PWD
BUILD=${INSTALL_BUILD_DIR:-build-install}
WERROR=${TZ_WERROR:-$([ -n "${CI:-}" ] && echo ON || echo OFF)}

fail() { echo "install-test: FAIL: $*" >&2; exit 1; }
WORK=$(mktemp -d)
ROOT=$WORK/chroot
cleanup() {
  if mountpoint -q "$ROOT/proc" 2>/dev/null; then umount "$ROOT/proc" || true; fi
  rm -rf "$WORK"
}
trap cleanup EXIT

cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF -DTZ_BUILD_BENCH=OFF \
  -DTZ_WERROR="$WERROR" -DCMAKE_INSTALL_PREFIX=/usr >/dev/null
cmake --build "$BUILD" -j"$(nproc)"

# --- cmake --install into a temporary prefix ---
PREFIX=$WORK/prefix
cmake --install "$BUILD" --prefix "$PREFIX" >/dev/null
SIZES=(16 22 24 32 48 64 128 256)
expected=(
  bin/transzanderxel
  bin/transzanderxel-batch
  libexec/transzanderxel/transzanderxel-informe
  share/transzanderxel/XEL.CHM
  share/applications/transzanderxel.desktop
  share/icons/hicolor/scalable/apps/transzanderxel.svg
  share/man/man1/transzanderxel.1.gz
  share/man/man1/transzanderxel-batch.1.gz
)
for s in "${SIZES[@]}"; do expected+=("share/icons/hicolor/${s}x${s}/apps/transzanderxel.png"); done
for f in "${expected[@]}"; do [ -f "$PREFIX/$f" ] || fail "not installed: $f"; done
[ -x "$PREFIX/bin/transzanderxel" ] && [ -x "$PREFIX/bin/transzanderxel-batch" ] || fail "not executable"
unexpected=$(cd "$PREFIX" && find . -type f | sed 's#^\./##' | sort | comm -23 - <(printf '%s\n' "${expected[@]}" | sort))
[ -z "$unexpected" ] || fail "installed but not expected: $unexpected"
for s in "${SIZES[@]}"; do
  got=$(identify -format '%wx%h' "$PREFIX/share/icons/hicolor/${s}x${s}/apps/transzanderxel.png")
  [ "$got" = "${s}x${s}" ] || fail "icon ${s}x${s} is $got"
done
# The GUI looks for the help file beside its own folder.
[ -f "$PREFIX/bin/../share/transzanderxel/XEL.CHM" ] || fail "XEL.CHM is not at <bin>/../share/transzanderxel"

desktop=$PREFIX/share/applications/transzanderxel.desktop
desktop-file-validate "$desktop" || fail "desktop entry does not validate"
grep -qx 'Exec=transzanderxel' "$desktop" || fail "desktop entry runs something else"
grep -qx 'Icon=transzanderxel' "$desktop" || fail "desktop entry names another icon"
grep -qx 'Categories=Education;' "$desktop" || fail "desktop entry is not in Education"

for page in transzanderxel transzanderxel-batch; do
  warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l "$PREFIX/share/man/man1/$page.1.gz" 2>&1 >/dev/null)
  [ -z "$warnings" ] || fail "man page $page: $warnings"
done

# The installed batch on the sample school: both jobs, fCUADROS.txt byte for byte.
sample() {  # sample RUN_PREFIX... : the batch as the command that follows runs it
  local dir=$1
  shift
  rm -rf "$dir" && mkdir -p "$dir/raiz/ZTEMP" "$dir/state"
  cp -r "$SRC/examples/textos" "$dir/textos"
  cp "$SRC/examples/raiz/ZTEMP/SOLUC.DBF" "$dir/raiz/ZTEMP/"
  cp "$SRC/examples/expected/niveles.txt" "$SRC/examples/documentos.txt" "$SRC/examples/expected/fCUADROS.txt" "$dir/"
}
run_sample() {  # run_sample DIR_AS_SEEN BATCH [PREFIX_COMMAND...]
  local dir=$1 batch=$2
  shift 2
  "$@" env XDG_STATE_HOME="$dir/state" "$batch" exportar --textos "$dir/textos" --raiz "$dir/raiz" \
    --niveles "$dir/niveles.txt" 2>"$WORK/exportar.err" || { cat "$WORK/exportar.err" >&2; fail "exportar"; }
  "$@" env XDG_STATE_HOME="$dir/state" "$batch" importar --textos "$dir/textos" --raiz "$dir/raiz" \
    --documentos "$dir/documentos.txt" 2>"$WORK/importar.err" || { cat "$WORK/importar.err" >&2; fail "importar"; }
  grep -qxF "Proceso finalizado" "$WORK/importar.err" || fail "importar did not finish"
  # The report's PDF, drawn by the program the batch runs for it (0: nothing missing, 6: findings).
  local status=0
  "$@" env XDG_STATE_HOME="$dir/state" "$batch" informe --textos "$dir/textos" --raiz "$dir/raiz" \
    --salida "$dir/informe.pdf" 2>"$WORK/informe.err" || status=$?
  [ "$status" -eq 0 ] || [ "$status" -eq 6 ] || { cat "$WORK/informe.err" >&2; fail "informe ended with $status"; }
}
sample "$WORK/sample"
run_sample "$WORK/sample" "$PREFIX/bin/transzanderxel-batch"
cmp "$WORK/sample/textos/fCUADROS.txt" "$WORK/sample/fCUADROS.txt" || fail "installed batch: fCUADROS.txt differs"
[ "$(head -c 5 "$WORK/sample/informe.pdf")" = "%PDF-" ] || fail "installed batch: informe wrote no PDF"
echo "install-test: prefix install complete (${#expected[@]} files), sample school done"

# --- the Debian package ---
(cd "$BUILD" && cpack -G DEB >/dev/null)
DEB=$(ls "$BUILD"/transzanderxel_*.deb)
depends=$(dpkg-deb -f "$DEB" Depends)
for lib in libqt6widgets6 libqt6gui6 libqt6core6 libchm1 libxcb1 libstdc++6 libc6; do
  grep -q "\b$lib\b" <<<"$depends" || fail "the package does not depend on $lib: $depends"
done
packaged=$(dpkg-deb -c "$DEB" | awk '$1 !~ /^d/ {print $NF}' | sed 's#^\./usr/##' | sort)
[ "$packaged" = "$(printf '%s\n' "${expected[@]}" | sort)" ] || fail "package contents differ from the install: $packaged"
echo "install-test: $(basename "$DEB") depends on: $depends"

if [ "${TZ_DEB_CHROOT:-1}" = 0 ]; then
  echo "install-test: chroot install skipped (TZ_DEB_CHROOT=0)"
  exit 0
fi
if [ "$(id -u)" -ne 0 ] || ! command -v debootstrap >/dev/null; then
  echo "install-test: chroot install skipped (needs root and debootstrap)"
  exit 0
fi
# A fresh Debian 12 with the machine's own package sources (updates and security included).
debootstrap --variant=minbase bookworm "$ROOT" >"$WORK/debootstrap.log" 2>&1 ||
  { tail -20 "$WORK/debootstrap.log" >&2; fail "debootstrap"; }
cp /etc/resolv.conf "$ROOT/etc/resolv.conf"
if ls /etc/apt/sources.list.d/*.sources >/dev/null 2>&1; then
  rm -f "$ROOT/etc/apt/sources.list"
  cp /etc/apt/sources.list.d/*.sources "$ROOT/etc/apt/sources.list.d/"
fi
mount -t proc proc "$ROOT/proc" 2>/dev/null || echo "install-test: /proc not mounted in the chroot (not allowed here)"
cp "$DEB" "$ROOT/tmp/"
in_root() { chroot "$ROOT" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8 "$@"; }
in_root apt-get update -qq >"$WORK/apt.log" 2>&1 || { cat "$WORK/apt.log" >&2; fail "apt-get update in the chroot"; }
in_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "/tmp/$(basename "$DEB")" >>"$WORK/apt.log" 2>&1 ||
  { tail -30 "$WORK/apt.log" >&2; fail "apt install ./$(basename "$DEB") in a fresh Debian 12"; }
missing=$(in_root ldd /usr/bin/transzanderxel /usr/bin/transzanderxel-batch \
  /usr/libexec/transzanderxel/transzanderxel-informe | grep 'not found' || true)
[ -z "$missing" ] || fail "libraries missing in the chroot: $missing"
in_root transzanderxel-batch --help >/dev/null || fail "transzanderxel-batch --help in the chroot"
# The window starts on the offscreen platform and keeps running until it is stopped.
status=0
in_root env QT_QPA_PLATFORM=offscreen HOME=/tmp timeout 5 transzanderxel >"$WORK/gui.log" 2>&1 || status=$?
[ "$status" -eq 124 ] || { cat "$WORK/gui.log" >&2; fail "transzanderxel in the chroot ended with $status"; }
sample "$ROOT/tmp/sample"
run_sample /tmp/sample /usr/bin/transzanderxel-batch in_root
cmp "$ROOT/tmp/sample/textos/fCUADROS.txt" "$ROOT/tmp/sample/fCUADROS.txt" || fail "chroot: fCUADROS.txt differs"
[ "$(head -c 5 "$ROOT/tmp/sample/informe.pdf")" = "%PDF-" ] || fail "chroot: informe wrote no PDF"
echo "install-test: $(basename "$DEB") installs with apt in a fresh Debian 12; both programs run there"
