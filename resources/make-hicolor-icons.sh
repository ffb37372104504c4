#!/usr/bin/env bash
# Extracts the desktop icons from the window icon, so the menu shows the same
# drawing as the title bar: one PNG per size in the freedesktop hicolor layout,
# resources/icons/hicolor/<size>x<size>/apps/kwn-frame-builder.png.
# The results are committed, so neither a build nor an install needs ImageMagick;
# run this again after Tool_icon.ico has been redrawn.
# Needs ImageMagick 6 (convert, identify).
set -euo pipefail
cd "$(dirname "$0")"

for tool in convert identify; do
    command -v "$tool" >/dev/null || { echo "ImageMagick's $tool is needed (install imagemagick)" >&2; exit 1; }
done
[ -f Tool_icon.ico ] || { echo "Tool_icon.ico not found in $(pwd)" >&2; exit 1; }

sizes=(16 32 48 64 128 256)
# No time stamps and no comments, so that running this twice gives the same bytes.
png_opts=(-strip -define png:exclude-chunks=date,time)

# The images inside the .ico, as "index width height" lines.
frames=$(identify -format '%p %w %h\n' Tool_icon.ico)

for s in "${sizes[@]}"; do
    index=$(awk -v s="$s" '$2 == s && $3 == s { print $1; exit }' <<<"$frames")
    [ -n "$index" ] || { echo "Tool_icon.ico holds no ${s}x${s} image" >&2; exit 1; }
    out="icons/hicolor/${s}x${s}/apps/kwn-frame-builder.png"
    mkdir -p "$(dirname "$out")"
    convert "Tool_icon.ico[$index]" "${png_opts[@]}" "PNG32:$out"
done

identify icons/hicolor/*/apps/kwn-frame-builder.png
