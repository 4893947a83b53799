#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine, builds everything with the sanitizers and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup-debian.sh
# No layer reaches up (docs/architecture.md): fails before anything is built.
python3 scripts/check-layers.py
BUILD=${BUILD_DIR:-build-test}
# Warnings are errors in CI (CI set, as .ci/run does) unless TZ_WERROR says otherwise.
WERROR=${TZ_WERROR:-$([ -n "${CI:-}" ] && echo ON || echo OFF)}
cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTZ_SANITIZE="${TZ_SANITIZE:-ON}" \
  -DTZ_WERROR="$WERROR"
cmake --build "$BUILD" -j"$(nproc)"
scripts/check-format.sh
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=0}
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$PWD/tests/lsan.supp:print_suppressions=0}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
ctest --test-dir "$BUILD" --output-on-failure -j"$(nproc)" --timeout 600

# --- The Windows build: cross-built with MinGW-w64, unit tests and both jobs under Wine, the
# tables compared byte for byte with this build's batch (TZ_WINDOWS=0 skips it). ---
if [ "${TZ_WINDOWS:-1}" != 0 ]; then
  scripts/build-windows.sh "$PWD/$BUILD/src/cli/transzanderxel-batch"
fi

# --- Install test: a release build installed into a temporary prefix, and its Debian package
# installed with apt into a fresh Debian 12 chroot (TZ_DEB_CHROOT=0 skips the chroot). ---
scripts/install-test.sh

# --- Fuzzing (reliability): each libFuzzer target for 30 seconds, in its own clang build. ---
# Only where clang is installed; a crash, leak or sanitizer report fails the run.
if command -v clang++ >/dev/null 2>&1; then
  FUZZ_BUILD_DIR=${FUZZ_BUILD_DIR:-build-fuzz} scripts/fuzz.sh 30
else
  echo "clang++ not found: fuzz targets skipped"
fi
