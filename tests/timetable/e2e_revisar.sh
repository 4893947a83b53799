#!/usr/bin/env bash
# revisar and copias through the batch front end on the sample school: findings and exit 6,
# every code filled gives exit 0; a replaced fCUADROS.txt is kept and compared per teacher.
# Usage: e2e_revisar.sh BATCH SOURCE_DIR
set -u
BATCH=$1
SRC=$2
PY=/usr/bin/python3
WORK=$(mktemp -d)
trap '[ -n "${KEEP:-}" ] || rm -rf "$WORK"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
export XDG_STATE_HOME="$WORK/estado"

cp -r "$SRC/examples/textos" "$WORK/textos"
mkdir -p "$WORK/raiz/ZTEMP"
cp "$SRC/examples/raiz/ZTEMP/SOLUC.DBF" "$WORK/raiz/ZTEMP/"
run() {  # run JOB ARGS... → $status, $WORK/out, $WORK/err
    status=0
    "$BATCH" "$@" --textos "$WORK/textos" --raiz "$WORK/raiz" >"$WORK/out" 2>"$WORK/err" || status=$?
}

run exportar --niveles "$SRC/examples/expected/niveles.txt"
[ $status -eq 0 ] || fail "exportar exit $status"
run importar --documentos "$SRC/examples/documentos.txt"
[ $status -eq 0 ] || fail "importar exit $status"

run revisar
[ $status -eq 6 ] || { cat "$WORK/err" >&2; fail "revisar exit $status, expected 6"; }
# The sample's catalogues know every code the export writes: what is left are the rows the
# sample leaves blank on purpose (a group missing from the groups table, tasks without a group).
grep -qxF 'Profesor RSE1, día 1, sesión 01, grupo 4DIV, Cód.GRUPO: en blanco' "$WORK/out" ||
    fail "no finding for the group missing from the groups table"
grep -q 'no está en xel' "$WORK/out" && { cat "$WORK/out" >&2; fail "a code the catalogues lack"; }
[ "$(wc -l <"$WORK/out")" -gt 10 ] || fail "too few findings"
grep -q '^Registros por codificar: ' "$WORK/err" || fail "no summary"

# Every code filled from the catalogues: nothing left.
$PY - "$WORK/raiz/ZTEMP" <<'PYEOF' || fail "tables filled"
import sys, dbf
z = sys.argv[1]
for name, values in (("CUADROH2.DBF", dict(tipdoc="1", doc="1", tiptar="GUA", grupniv="ESO",
                                           codasig="", idioma="02", tip_activ="REC")),
                     ("CUADROH3.DBF", dict(codgrupo="01ESA"))):
    t = dbf.Table(z + "/" + name)
    t.open(mode=dbf.READ_WRITE)
    for r in t:
        with r:
            for k, v in values.items():
                setattr(r, k, v)
    t.close()
PYEOF
run revisar
# GUA reads as teaching ("N"): the subject is then possibly missing.
[ $status -eq 6 ] || fail "teaching task without subject not found"
grep -q 'Cód.ASIG: en blanco (posible: la TAREA "GUA" es "Lectiva")' "$WORK/out" || fail "no possible finding"
$PY - "$WORK/raiz/ZTEMP" <<'PYEOF' || fail "tables filled"
import sys, dbf
t = dbf.Table(sys.argv[1] + "/CUADROH2.DBF")
t.open(mode=dbf.READ_WRITE)
for r in t:
    with r:
        r.tiptar = "BIB"
t.close()
PYEOF
run revisar
[ $status -eq 0 ] || { cat "$WORK/out" >&2; fail "revisar exit $status on complete tables"; }
[ -s "$WORK/out" ] && fail "findings printed on complete tables"

# Kept copies: a second export replaces the file; the first is kept and compared.
run copias
[ $status -eq 0 ] && [ ! -s "$WORK/out" ] || fail "copies before any replace"
cp "$WORK/textos/fCUADROS.txt" "$WORK/first.txt"
run importar --solo-codificar --documentos "$SRC/examples/documentos.txt"
[ $status -eq 0 ] || fail "second importar exit $status"
run copias
[ $status -eq 0 ] && [ "$(wc -l <"$WORK/out")" -eq 1 ] || fail "one copy expected"
cmp "$WORK/first.txt" "$(awk '{print $NF}' "$WORK/out")" || fail "the copy is not the old file"
ls "$WORK/textos" | grep -qv '^f.*\.txt$' && fail "something else written into the text folder"
run copias --comparar 1
[ $status -eq 0 ] || fail "copias --comparar exit $status"
grep -q 'TAREA: 101 → BIB' "$WORK/out" || { cat "$WORK/out" >&2; fail "no changed task listed"; }
run copias --comparar 2
[ $status -eq 1 ] || fail "a copy that does not exist: exit $status"
run revisar --bad
[ $status -eq 2 ] || fail "wrong usage: exit $status"
echo OK
