#!/usr/bin/env bash
# Regenerates the seed corpora of the fuzz targets from the sample school, our own engine and
# the help test project: tests/fuzz/make_corpus.sh <fuzz build folder>.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
repo=$(cd "$here/../.." && pwd)
build=${1:?usage: make_corpus.sh <fuzz build folder>}
corpus=$here/corpus
rm -rf "$corpus" && mkdir -p "$corpus"/{textos,tabla,ayuda,sitemap,importar,mdx,ordenes}

# Text files: a selector byte (the layout, see FuzzTextos.cpp) and the first lines of the sample.
layout=0
for f in fTIPTAR fASIGNAT fOTRACT fTIPDOC fNIVIMP fIDIOMA fGRUPNIV fASIGNAT fPROFES fGRUPOS; do
  { printf "\\x$(printf %02x $layout)"; head -n 4 "$repo/examples/textos/$f.txt"; } \
    >"$corpus/textos/$layout-$f"
  layout=$((layout + 1))
done
# Castilian columns, a byte 26, lone LF line ends.
{ printf '\x11'; head -n 3 "$repo/examples/textos/fASIGNAT.txt" | tr -d '\r'; printf '\x1a'; } >"$corpus/textos/asignat-cast-lf"
{ printf '\x09'; head -n 2 "$repo/examples/textos/fGRUPOS.txt"; head -n 2 "$repo/examples/textos/fGRUPOS.txt"; } >"$corpus/textos/grupos-repetidos"

# Tables: written by our engine, the timetabler's SOLUC of the sample, two damaged fixtures.
cmake --build "$build" --target make_table_seeds >/dev/null
"$build/tests/fuzz/make_table_seeds" "$corpus/tabla"
{ printf '\x04'; cat "$repo/examples/raiz/ZTEMP/SOLUC.DBF"; } >"$corpus/tabla/soluc"
{ printf '\x0c'; head -c 600 "$repo/examples/raiz/ZTEMP/SOLUC.DBF"; } >"$corpus/tabla/soluc-cortado-escribir"
for f in extra_header_bytes count_larger_than_file; do
  { printf '\x0f'; cat "$repo/tests/data/tables/$f.dbf"; } >"$corpus/tabla/$f"
done

# Help: the test project compiled with chmcmd, and its sitemaps.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cmake -DCHMCMD="$(command -v chmcmd)" -DSOURCE_DIR="$repo/tests/data/help" -DPROJECT=prueba.hhp \
  -DWORK_DIR="$work/chm" -DOUTPUT="$corpus/ayuda/prueba.chm" \
  -DCONTEXTS="$repo/tests/data/help/contexts.txt" -P "$repo/src/help/CompileChm.cmake" >/dev/null
cp "$repo/tests/data/help/toc.hhc" "$repo/tests/data/help/index.hhk" "$corpus/sitemap/"
printf '<UL><LI><OBJECT type="text/sitemap"><param name="Name" value="&aacute;rbol &#xF3; \xe9"><param name="Local" value="ms-its:x.chm::/a/../../b%%2e.htm#f"></OBJECT><UL><LI>' \
  >"$corpus/sitemap/anidado.hhc"

# The Zandrix → XEL job: the sample's own tables after both jobs, as chunks (see FuzzImportar.cpp).
# The MDX seeds are the index files of those tables; the command-line seeds are written here.
batch=${BATCH:-$repo/build/src/cli/transzanderxel-batch}
if [ -x "$batch" ]; then
  mkdir -p "$corpus"/{importar,mdx,ordenes}
  run=$work/run
  mkdir -p "$run" && cp -r "$repo/examples/textos" "$repo/examples/raiz" "$run/"
  XDG_STATE_HOME=$work/estado "$batch" exportar --textos "$run/textos" --raiz "$run/raiz" \
    --niveles "$repo/examples/expected/niveles.txt" 2>/dev/null
  XDG_STATE_HOME=$work/estado "$batch" importar --textos "$run/textos" --raiz "$run/raiz" \
    --documentos "$repo/examples/documentos.txt" 2>/dev/null || true
  /usr/bin/python3 - "$run/raiz/ZTEMP" "$corpus" <<'PYEOF'
import struct, sys
z, corpus = sys.argv[1], sys.argv[2]
read = lambda name: open(f"{z}/{name}", "rb").read()
def chunks(*tables):
    return b"".join(struct.pack("<H", len(t)) + t for t in tables)
soluc, proft, h2, centro = (read(n) for n in ("SOLUC.DBF", "PROFT.DBF", "CUADROH2.DBF", "xelCENTRO.DBF"))
seeds = {
    "nueva": b"\x04" + chunks(soluc),
    "conservar": b"\x05" + chunks(soluc, proft, h2),
    "codificar": b"\x07" + chunks(b"", proft, h2, centro),
    "sin-documentos": b"\x00" + chunks(soluc, proft),
    "centro": b"\x0c" + chunks(soluc, b"", b"", centro),
}
for name, data in seeds.items():
    open(f"{corpus}/importar/{name}", "wb").write(data)
for sel, name in enumerate(("PROFT", "CUADROH2", "CUADROH3", "PLANTILLA")):
    open(f"{corpus}/mdx/{name.lower()}", "wb").write(bytes([sel]) + read(name + ".MDX"))
open(f"{corpus}/mdx/vacio", "wb").write(b"\x01")
def ordenes(fichero, *words):
    return struct.pack("<H", len(fichero)) + fichero + b"\0".join(w.encode() for w in words)
seeds = {
    "documentos": ordenes(b"OA;1;30776655B\r\nSUST;2;Y7654321G\r\n", "importar", "--textos", "/t", "--documentos", "@F"),
    "documentos-bom-utf8": ordenes("\ufeffÁCÓ;1;X1234567L\n\nOA;1;3077\r6655B\n".encode(), "importar", "--textos=/t", "--documentos=@F", "--centro", "015432,2024,1"),
    "niveles": ordenes(b"ESO;ESO;DBH\r\nBAC;BACH;BATX\r\n", "exportar", "--textos", "/t", "--niveles", "@F", "--idioma", "CASTELLANO"),
    "falta-valor": ordenes(b"", "importar", "--textos", "--nueva", "--centro", "-1,-2026,-"),
}
for name, data in seeds.items():
    open(f"{corpus}/ordenes/{name}", "wb").write(data)
PYEOF
fi
