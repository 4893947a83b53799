#!/usr/bin/env bash
# Both jobs of the batch front end on the sample school under valgrind (memcheck): any error
# or definite leak fails. With ENGINE_TESTS (the tables_tests binary) the engine's own tests
# run under valgrind too. Needs a build without the sanitizers, so it is not part of CI:
#   tests/reliability/valgrind.sh BATCH EXAMPLES [ENGINE_TESTS]
set -euo pipefail
batch=${1:?usage: valgrind.sh BATCH EXAMPLES}
examples=${2:?usage: valgrind.sh BATCH EXAMPLES}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp -r "$examples/textos" "$examples/raiz" "$work/"
vg=(valgrind --error-exitcode=99 --leak-check=full --errors-for-leak-kinds=definite --quiet
    --suppressions="$(dirname "$0")/valgrind.supp")
run() {
  local name=$1
  shift
  local status=0
  "${vg[@]}" "$batch" "$@" --textos "$work/textos" --raiz "$work/raiz" 2>"$work/$name.err" || status=$?
  if [ "$status" -eq 99 ]; then
    echo "valgrind: $name: errors" >&2
    cat "$work/$name.err" >&2
    exit 1
  fi
  echo "$name: exit $status, valgrind clean"
}
run exportar exportar --niveles "$examples/expected/niveles.txt"
run importar importar --documentos "$examples/documentos.txt"
cmp "$work/textos/fCUADROS.txt" "$examples/expected/fCUADROS.txt"
run importar-conservando importar --documentos "$examples/documentos.txt"
run exportar-castellano exportar --idioma CASTELLANO --centro 012345,2024,1
run importar-nueva importar --nueva --solo-codificar --documentos "$examples/documentos.txt"
if [ -n "${3:-}" ]; then
  "${vg[@]}" "$3" >"$work/engine.out" 2>&1 || { tail -n 60 "$work/engine.out" >&2; exit 1; }
  echo "engine tests: $(grep -c '^\[       OK' "$work/engine.out") passed, valgrind clean"
fi
