#!/usr/bin/env bash
# Makes the two 30 x 30, 24-bit pictures of the Study page: a yellow Q (question) or A (answer)
# outlined in blue on a ground shading from olive to green. Needs ImageMagick.
set -euo pipefail
cd "$(dirname "$0")"
for letter in Q A; do
  convert -size 30x30 gradient:'#808000'-'#008000' \
    -font DejaVu-Sans-Bold -pointsize 24 -fill yellow -stroke blue -strokewidth 1 \
    -gravity center -annotate +0+0 "$letter" \
    -type TrueColor BMP3:"${letter}bmp.bmp"
done
