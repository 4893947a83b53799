#!/usr/bin/env bash
# Regenerates the seed corpora of the fuzz targets from the sample school, our own engine and
# the help test project: tests/fuzz/make_corpus.sh <fuzz build folder>.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
repo=$(cd "$here/../.." && pwd)
build=${1:?usage: make_corpus.sh <fuzz build folder>}
corpus=$here/corpus
rm -rf "$corpus" && mkdir -p "$corpus"/{textos,tabla,ayuda,sitemap}

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
