#!/usr/bin/env bash
# Draws esquema.png, the diagram of the two jobs on the help's first page (ImageMagick). Each
# label sits between the two boxes, clear of both. Run from anywhere:
#   bash docs/help/esquema.sh
set -euo pipefail
cd "$(dirname "$0")"
/usr/bin/convert -size 480x110 xc:none -font DejaVu-Sans \
  -stroke '#c08a1e' -strokewidth 1 -fill '#fff0c8' -draw 'roundrectangle 10,25 120,85 8,8' \
  -stroke '#5b7fc7' -fill '#dde8fb' -draw 'roundrectangle 360,25 470,85 8,8' \
  -stroke none -fill '#202020' -pointsize 16 \
  -draw "text 48,62 'XEL'" -draw "text 384,62 'Zandrix'" \
  -stroke '#a01010' -strokewidth 2 -draw 'line 128,45 344,45' -draw 'line 136,66 352,66' \
  -stroke none -fill '#a01010' -draw 'polygon 352,45 340,39 340,51' -draw 'polygon 128,66 140,60 140,72' \
  -fill '#202020' -pointsize 11 \
  -draw "text 176,38 'Transformar desde XEL'" -draw "text 164,84 'Transformar desde Zandrix'" \
  -strip esquema.png
