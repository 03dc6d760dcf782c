#!/bin/sh
# docs/make-screenshot.sh [BUILD]: makes docs/screenshot.png. A demo program folder gets 300
# generated messages on board 4 (gen-log, imported with tessera-cli); the main window starts on
# it under xvfb-run and ImageMagick's import captures the screen. BUILD defaults to build/.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
demo=$(mktemp -d)
trap 'rm -rf "$demo"' EXIT
"$build/bench/gen-log" --type 0 --count 300 --out "$demo/zatsudan.log"
TESSERA_HOME=$demo "$build/src/tessera-cli" --yes import 4 "$demo/zatsudan.log"
sed -i 's/^BBS_ID=.*/BBS_ID=4/' "$demo/tessera.ini"
TESSERA_HOME=$demo xvfb-run -a -s "-screen 0 1024x700x24" sh -c \
    '"$1" & pid=$!; sleep 5; import -window root "$2"; kill $pid' sh "$build/src/tessera" "$root/docs/screenshot.png"
