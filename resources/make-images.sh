#!/usr/bin/env bash
# Draws the images that are compiled into the tool: the window icon, the
# Quorvex logo and the documentation button's icon. The results are committed,
# so a build never needs ImageMagick; run this again only to change them.
# Needs ImageMagick 6 (convert) and the DejaVu fonts (fonts-dejavu-core).
set -euo pipefail
cd "$(dirname "$0")"

font=/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf
[ -f "$font" ] || { echo "DejaVu Sans Bold not found at $font (install fonts-dejavu-core)" >&2; exit 1; }
command -v convert >/dev/null || { echo "ImageMagick's convert is needed (install imagemagick)" >&2; exit 1; }

dark='rgb(64,64,64)'
light='rgb(242,241,246)'
yellow='rgb(250,184,0)'
# No time stamps and no comments, so that running this twice gives the same bytes.
png_opts=(-strip -define png:exclude-chunks=date,time)

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# Window icon: a dark rounded tile, a row of light "bytes" and a yellow chevron.
# Drawn once at 256 px and scaled down for the smaller sizes.
convert -size 256x256 xc:none \
    -fill "$dark" -draw 'roundrectangle 8,8 247,247 40,40' \
    -fill "$light" \
    -draw 'rectangle 30,170 70,206' -draw 'rectangle 82,170 122,206' \
    -draw 'rectangle 134,170 174,206' -draw 'rectangle 186,170 226,206' \
    -fill "$yellow" \
    -draw 'polygon 60,40 110,40 168,98 110,156 60,156 118,98' \
    -draw 'polygon 128,40 178,40 236,98 178,156 128,156 186,98' \
    "${png_opts[@]}" "PNG32:$tmp/icon-256.png"
sizes=(256 128 64 48 32 16)
frames=()
for s in "${sizes[@]}"; do
    convert "$tmp/icon-256.png" -filter Lanczos -resize "${s}x${s}" \
        "${png_opts[@]}" "PNG32:$tmp/icon-$s.png"
    frames+=("$tmp/icon-$s.png")
done
# BMP3-style entries with an alpha channel: 32 bits per pixel in every image.
convert "${frames[@]}" -alpha on -define icon:format=bmp Tool_icon.ico

# Logo: a geometric mark (a hexagon with a yellow chevron cut into it) above the
# bold wordmark, on the light colour of the window's left column. Drawn on a
# 239 x 126 grid and rendered at the size the window shows it, 167 x 88, and at
# twice that for screens at double resolution (Qt picks the @2x file there).
logo() { # width height file
    local sx sy
    sx=$(awk "BEGIN { print $1 / 239 }")
    sy=$(awk "BEGIN { print $2 / 126 }")
    convert -size "$1x$2" "xc:$light" \
        -draw "scale $sx,$sy fill $dark polygon 119,8 155,28 155,68 119,88 83,68 83,28" \
        -draw "scale $sx,$sy fill $yellow polygon 104,30 118,30 136,48 118,66 104,66 122,48" \
        -fill "$dark" -font "$font" -pointsize "$(awk "BEGIN { print 34 * $sy }")" \
        -kerning "$(awk "BEGIN { print 2 * $sx }")" \
        -gravity south -annotate "+0+$(awk "BEGIN { printf \"%d\", 4 * $sy + 0.5 }")" 'QUORVEX' \
        "${png_opts[@]}" "PNG32:$3"
}
logo 167 88 logo_quorvex.png
logo 334 176 logo_quorvex@2x.png

# Documentation button: a yellow double chevron pointing right, transparent
# around it. Drawn large and scaled down to the button's 16-pixel icon and to
# 32 pixels for double resolution, so its edges stay smooth at both.
convert -size 300x300 xc:none -fill "$yellow" \
    -draw 'polygon 30,40 100,40 180,150 100,260 30,260 110,150' \
    -draw 'polygon 120,40 190,40 270,150 190,260 120,260 200,150' \
    "${png_opts[@]}" "PNG32:$tmp/button-300.png"
for s in 16 32; do
    name=button_icon.png
    [ "$s" = 32 ] && name=button_icon@2x.png
    convert "$tmp/button-300.png" -filter Lanczos -resize "${s}x${s}" "${png_opts[@]}" "PNG32:$name"
done

identify Tool_icon.ico logo_quorvex.png logo_quorvex@2x.png button_icon.png button_icon@2x.png
