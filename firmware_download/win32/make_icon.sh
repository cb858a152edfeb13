#!/usr/bin/env bash
# Draws TAVFrmDL's icons with ImageMagick in 16, 32 and 48 pixels: the program's icon (a chip
# with a down arrow), update.ico (an arrow into a chip) and version.ico (a chip with "i").
# The .ico files are kept in the repository; run this only to change the pictures.
set -euo pipefail
cd "$(dirname "$0")"
source ../../common/win32/icon.sh
chip=(-fill '#2f6b3a' -stroke '#173d1f' -strokewidth 2 -draw 'roundrectangle 8,16 39,45 3,3'
      -stroke '#b0b0b0' -strokewidth 2
      -draw 'line 4,22 8,22' -draw 'line 4,30 8,30' -draw 'line 4,38 8,38'
      -draw 'line 39,22 43,22' -draw 'line 39,30 43,30' -draw 'line 39,38 43,38')
arrow=(-fill '#f0a000' -stroke '#8a5a00' -strokewidth 1
       -draw 'polygon 19,1 29,1 29,9 35,9 24,20 13,9 19,9')
info=(-fill white -stroke none -draw 'circle 24,23 24,21' -draw 'rectangle 22,27 26,40')
make_ico TAVFrmDL.ico "${chip[@]}" "${arrow[@]}"
make_ico update.ico "${chip[@]}" "${arrow[@]}" -fill white -stroke none -draw 'rectangle 16,30 31,33'
make_ico version.ico "${chip[@]}" "${info[@]}"
