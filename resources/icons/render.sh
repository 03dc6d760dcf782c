#!/bin/sh
# Renders the PNG sizes of the application icon from tessera.svg (needs rsvg-convert from
# librsvg2-bin). The PNGs are kept in the repository, so building does not need the tool.
set -eu
cd "$(dirname "$0")"
for size in 48 256; do
    rsvg-convert --width "$size" --height "$size" --output "tessera-$size.png" tessera.svg
done
