# Shared by the tools' make_icon.sh scripts (sourced, not run): `make_ico NAME.ico DRAW...` draws
# a 48-pixel picture with ImageMagick's `convert` draw arguments and writes NAME.ico in 16, 32
# and 48 pixels, in the calling script's folder.
set -euo pipefail
icon_tmp=$(mktemp -d)
trap 'rm -rf "$icon_tmp"' EXIT

make_ico() {
    local name=$1
    shift
    convert -size 48x48 xc:none "$@" "$icon_tmp/48.png"
    convert "$icon_tmp/48.png" -resize 32x32 "$icon_tmp/32.png"
    convert "$icon_tmp/48.png" -resize 16x16 "$icon_tmp/16.png"
    convert "$icon_tmp/16.png" "$icon_tmp/32.png" "$icon_tmp/48.png" "$name"
}
