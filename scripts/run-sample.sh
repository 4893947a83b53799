#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine, builds the tool and runs it on the bundled sample school.
# The sample is copied to scratch/sample first, so the bundled files are never changed.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup-debian.sh
BUILD=${BUILD_DIR:-build-run}
cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTZ_BUILD_BENCH=OFF -DBUILD_TESTING=OFF >/dev/null
cmake --build "$BUILD" -j"$(nproc)" --target transzanderxel-batch $( [ -n "${DISPLAY:-}" ] && echo transzanderxel )
SAMPLE=$PWD/scratch/sample
rm -rf "$SAMPLE" && mkdir -p "$SAMPLE"
cp -r examples/. "$SAMPLE"/
mkdir -p "$SAMPLE/raiz/ZTEMP" "$SAMPLE/raiz/ZDXM7"
# "F1 AYUDA" opens \ZDXM7\XEL.CHM on the current drive: give the scratch root a copy.
[ -f "$BUILD/src/app/XEL.CHM" ] && cp "$BUILD/src/app/XEL.CHM" "$SAMPLE/raiz/ZDXM7/"
export TRANSZANDERXEL_ROOT="$SAMPLE/raiz"
if [ -n "${DISPLAY:-}" ] && [ -x "$BUILD/src/app/transzanderxel" ]; then
  echo "Carpeta de textos: $SAMPLE/textos"
  echo "Carpeta de intercambio (ZTEMP): $TRANSZANDERXEL_ROOT/ZTEMP"
  cd "$SAMPLE/textos" && exec "$OLDPWD/$BUILD/src/app/transzanderxel" "$@"
fi
echo "No hay pantalla (DISPLAY): se ejecuta el trabajo XEL → Zandrix con transzanderxel-batch."
status=0
"$BUILD/src/cli/transzanderxel-batch" exportar --textos "$SAMPLE/textos" --raiz "$TRANSZANDERXEL_ROOT" "$@" || status=$?
echo "Tablas escritas en: $TRANSZANDERXEL_ROOT/ZTEMP"
ls "$TRANSZANDERXEL_ROOT/ZTEMP" 2>/dev/null || true
exit $status
