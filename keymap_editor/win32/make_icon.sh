#!/usr/bin/env bash
# Draws Lexmap.ico (a keyboard with a pencil) in 16, 32 and 48 pixels with ImageMagick.
# The .ico is kept in the repository; run this only to change the picture.
set -euo pipefail
cd "$(dirname "$0")"
source ../../common/win32/icon.sh
make_ico Lexmap.ico \
    -fill '#2d6a2d' -stroke '#123d12' -strokewidth 2 -draw 'roundrectangle 2,16 45,44 5,5' \
    -fill white -stroke none \
    -draw 'rectangle 7,21 12,26' -draw 'rectangle 15,21 20,26' -draw 'rectangle 23,21 28,26' \
    -draw 'rectangle 31,21 41,26' \
    -draw 'rectangle 7,29 12,34' -draw 'rectangle 15,29 28,34' -draw 'rectangle 31,29 41,34' \
    -draw 'rectangle 11,37 36,40' \
    -fill '#f0c000' -stroke '#7a5a00' -strokewidth 1 \
    -draw 'polygon 30,2 38,2 38,10 22,18 18,18 18,14'
