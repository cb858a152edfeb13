#!/usr/bin/env bash
# Draws Sonder.ico (a keyboard with a probe) in 16, 32 and 48 pixels with ImageMagick.
# The .ico is kept in the repository; run this only to change the picture.
set -euo pipefail
cd "$(dirname "$0")"
source ../../common/win32/icon.sh
make_ico Sonder.ico \
    -fill '#2d4f8a' -stroke '#13264d' -strokewidth 2 -draw 'roundrectangle 2,20 45,44 5,5' \
    -fill white -stroke none \
    -draw 'rectangle 7,25 12,30' -draw 'rectangle 15,25 20,30' -draw 'rectangle 23,25 28,30' \
    -draw 'rectangle 31,25 41,30' -draw 'rectangle 11,34 36,38' \
    -fill none -stroke '#e05a00' -strokewidth 3 -draw 'line 24,18 24,4' -draw 'line 24,4 40,4' \
    -fill '#e05a00' -stroke none -draw 'circle 40,4 43,4'
