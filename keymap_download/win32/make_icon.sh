#!/usr/bin/env bash
# Draws TAVmapDL.ico (a keyboard with a down arrow) in 16, 32 and 48 pixels with ImageMagick.
# The .ico is kept in the repository; run this only to change the picture.
set -euo pipefail
cd "$(dirname "$0")"
source ../../common/win32/icon.sh
make_ico TAVmapDL.ico \
    -fill '#1f4e9c' -stroke '#0b2a5e' -strokewidth 2 -draw 'roundrectangle 2,16 45,44 5,5' \
    -fill white -stroke none \
    -draw 'rectangle 7,21 12,26' -draw 'rectangle 15,21 20,26' -draw 'rectangle 23,21 28,26' \
    -draw 'rectangle 31,21 36,26' -draw 'rectangle 39,21 41,26' \
    -draw 'rectangle 7,29 12,34' -draw 'rectangle 15,29 20,34' -draw 'rectangle 23,29 28,34' \
    -draw 'rectangle 31,29 41,34' -draw 'rectangle 11,37 36,40' \
    -fill '#f0a000' -stroke '#8a5a00' -strokewidth 1 \
    -draw 'polygon 19,1 29,1 29,8 35,8 24,16 13,8 19,8'
