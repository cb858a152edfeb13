#!/usr/bin/env bash
# Draws TAVSET.ico (a keyboard with two switches above it) in 16, 32 and 48 pixels with
# ImageMagick. The .ico is kept in the repository; run this only to change the picture.
set -euo pipefail
cd "$(dirname "$0")"
source ../../common/win32/icon.sh
make_ico TAVSET.ico \
    -fill '#2e6b30' -stroke '#173d18' -strokewidth 2 -draw 'roundrectangle 2,20 45,45 5,5' \
    -fill white -stroke none \
    -draw 'rectangle 7,25 12,30' -draw 'rectangle 15,25 20,30' -draw 'rectangle 23,25 28,30' \
    -draw 'rectangle 31,25 36,30' -draw 'rectangle 39,25 41,30' \
    -draw 'rectangle 7,33 12,37' -draw 'rectangle 15,33 20,37' -draw 'rectangle 23,33 28,37' \
    -draw 'rectangle 31,33 41,37' -draw 'rectangle 11,40 36,42' \
    -fill '#d0d0d0' -stroke '#505050' -strokewidth 1 \
    -draw 'roundrectangle 4,3 22,15 6,6' -draw 'roundrectangle 26,3 44,15 6,6' \
    -fill '#f0a000' -stroke '#8a5a00' \
    -draw 'circle 16,9 16,4' -draw 'circle 32,9 32,4'
