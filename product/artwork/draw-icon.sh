#!/usr/bin/env bash
# Draws the installer's icon (product/icon.ico): a rounded blue tile with a white
# downward arrow, at the sizes Windows asks for. Needs ImageMagick.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
convert -size 256x256 xc:none \
  -fill '#337BDD' -draw 'roundrectangle 8,8 247,247 48,48' \
  -fill white -draw 'polygon 128,206 60,130 104,130 104,50 152,50 152,130 196,130' \
  -fill '#FFFFFF' -draw 'roundrectangle 60,214 196,226 6,6' \
  "$tmp/icon.png"
convert "$tmp/icon.png" -define icon:auto-resize=256,48,32,16 "$here/../icon.ico"
