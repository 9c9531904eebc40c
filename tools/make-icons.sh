#!/usr/bin/env bash
# Renders the program's icon, drawn as resources/desktop/org.rondella.Rondella.svg,
# into the 48 and 256 px PNGs installed beside it. Run after changing the
# drawing; needs rsvg-convert (Debian's librsvg2-bin).
set -euo pipefail
desktop=$(cd "$(dirname "${BASH_SOURCE[0]}")/../resources/desktop" && pwd)
for size in 48 256; do
    rsvg-convert -w "$size" -h "$size" "$desktop/org.rondella.Rondella.svg" \
        -o "$desktop/org.rondella.Rondella-$size.png"
done
