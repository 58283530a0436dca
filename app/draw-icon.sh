#!/bin/sh
# Draws the program's icon, kelvarin.ico: a disc with a speed needle, in
# 16, 32 and 48 pixel images of 24-bit colour, each with a transparency mask.
# Needs ImageMagick's convert. Run from anywhere; writes next to this script.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Drawn once at 8 times 48 pixels, on a transparent canvas, then scaled down.
convert -size 384x384 xc:none \
  -fill '#5a6278' -draw 'circle 192,192 192,16' \
  -fill '#dfe3ea' -draw 'circle 192,192 192,30' \
  -fill '#b9d7f0' -draw 'path "M 192,192 L 80,60 A 172,172 0 0,1 192,30 Z"' \
  -fill '#f0d9a8' -draw 'path "M 192,192 L 340,220 A 162,162 0 0,1 300,318 Z"' \
  -fill '#8d96aa' -draw 'circle 192,192 192,132' \
  -fill '#cfd4dd' -draw 'circle 192,192 192,150' \
  -stroke '#c81e1e' -strokewidth 30 -draw 'line 192,192 300,84' \
  -stroke none -fill '#c81e1e' -draw 'circle 192,192 192,166' \
  -fill none -draw 'circle 192,192 192,178' \
  "$work/master.png"
# The centre hole.
convert "$work/master.png" \
  \( -size 384x384 xc:none -fill black -draw 'circle 192,192 192,176' \) \
  -compose DstOut -composite "$work/master.png"

le16() { printf "\\$(printf %03o $(($1 & 255)))\\$(printf %03o $(($1 >> 8 & 255)))"; }
le32() { le16 $(($1 & 65535)); le16 $(($1 >> 16 & 65535)); }

sizes="16 32 48"
for s in $sizes; do
  convert "$work/master.png" -resize "${s}x${s}" "$work/$s.png"
  # Colour: transparent parts black, as a masked icon expects.
  convert "$work/$s.png" -background black -alpha remove -alpha off -type TrueColor \
    -define bmp:format=bmp3 "BMP3:$work/$s.bmp"
  # Mask: 1 (white) where transparent.
  convert "$work/$s.png" -alpha extract -threshold 50% -negate -monochrome \
    -define bmp:format=bmp3 "BMP3:$work/$s-mask.bmp"
done

ico="$here/kelvarin.ico"
{
  le16 0; le16 1; le16 3
  offset=$((6 + 16 * 3))
  for s in $sizes; do
    size=$((40 + s * s * 3 + ((s + 31) / 32 * 4) * s))
    printf "\\$(printf %03o "$s")\\$(printf %03o "$s")\\000\\000"
    le16 1; le16 24; le32 "$size"; le32 "$offset"
    offset=$((offset + size))
  done
  for s in $sizes; do
    # BITMAPINFOHEADER with the height doubled for colour plus mask.
    le32 40; le32 "$s"; le32 $((s * 2)); le16 1; le16 24; le32 0
    le32 $((s * s * 3 + ((s + 31) / 32 * 4) * s)); le32 0; le32 0; le32 0; le32 0
    tail -c $((s * s * 3)) "$work/$s.bmp"
    tail -c $(((s + 31) / 32 * 4 * s)) "$work/$s-mask.bmp"
  done
} > "$ico"
identify "$ico"
