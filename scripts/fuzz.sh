#!/usr/bin/env bash
# Builds the libFuzzer targets (clang) and runs each for a bounded time, one after the other:
#   scripts/fuzz.sh [SECONDS] [TARGET...]     (30 seconds each by default, every target)
# New inputs go to <build>/corpus/<target> (the seeds in tests/fuzz/corpus stay as they are);
# a crash, a leak, a timeout or an exhausted memory limit leaves its input in
# <build>/artifacts/ and makes the script fail.
set -euo pipefail
cd "$(dirname "$0")/.."
SECONDS_EACH=${1:-30}
shift || true
BUILD=${FUZZ_BUILD_DIR:-build-fuzz}
JOBS=${FUZZ_JOBS:-2}

if ! command -v clang++ >/dev/null; then
  echo "fuzz.sh: clang++ is needed (apt-get install clang)" >&2
  exit 2
fi
if [ ! -f "$BUILD/CMakeCache.txt" ]; then
  # Warnings are errors in CI (CI set), as in the main build.
  WERROR=${TZ_WERROR:-$([ -n "${CI:-}" ] && echo ON || echo OFF)}
  CC=clang CXX=clang++ cmake -S . -B "$BUILD" -G Ninja -DTZ_FUZZ=ON -DTZ_BUILD_GUI=OFF \
    -DTZ_BUILD_BENCH=OFF -DTZ_WERROR="$WERROR" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$BUILD" -j"$JOBS" --target fuzz_all

targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  targets=(fuzz_textos fuzz_tabla fuzz_ayuda fuzz_sitemap fuzz_ini fuzz_importar fuzz_mdx
           fuzz_ordenes)
fi

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
mkdir -p "$BUILD/artifacts"
failed=0
for t in "${targets[@]}"; do
  seeds=tests/fuzz/corpus/${t#fuzz_}
  work=$BUILD/corpus/${t#fuzz_}
  mkdir -p "$work"
  log=$BUILD/artifacts/$t.log
  echo "== $t: ${SECONDS_EACH}s"
  if "$BUILD/tests/fuzz/$t" -max_total_time="$SECONDS_EACH" -timeout=20 -rss_limit_mb=2048 \
      -max_len=65536 -print_final_stats=1 -artifact_prefix="$BUILD/artifacts/$t-" \
      "$work" "$seeds" >"$log" 2>&1; then
    grep -E '^stat::number_of_executed_units|^#[0-9]+.*DONE' "$log" | tail -n 2 || true
  else
    echo "!! $t failed; see $log" >&2
    tail -n 40 "$log" >&2
    failed=1
  fi
done
exit $failed
