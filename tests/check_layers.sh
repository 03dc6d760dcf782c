#!/bin/sh
# Fails when a source file includes a header of a layer above its own.
# Core layers, lowest first: app, db, transfer, viewer/models, startup.
# tessera-cli (cli/) sits on startup and never includes a widget layer;
# the widget layers (controls, query, settings_ui, viewer) sit on the core.
set -eu
src=${1:-$(dirname "$0")/../src}

rank() {
    case "$1" in
    app/*) echo 0 ;;
    db/*) echo 1 ;;
    transfer/*) echo 2 ;;
    viewer/models/*) echo 3 ;;
    startup/*) echo 4 ;;
    cli/*) echo 5 ;;
    controls/*) echo 6 ;;
    query/* | settings_ui/*) echo 7 ;;
    viewer/*) echo 8 ;;
    main.cpp) echo 9 ;;
    *) echo unknown ;;
    esac
}

status=0
cd "$src"
for file in $(find . -name '*.cpp' -o -name '*.h' | sed 's#^\./##' | sort); do
    own=$(rank "$file")
    if [ "$own" = unknown ]; then
        echo "$file: in no layer"
        status=1
        continue
    fi
    for header in $(sed -n 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"\([^"]*\)".*/\1/p' "$file"); do
        used=$(rank "$header")
        [ "$used" = unknown ] && continue
        if [ "$used" -gt "$own" ] || { [ "$used" -eq 5 ] && [ "$own" -ne 5 ]; }; then
            echo "$file includes $header, a higher layer"
            status=1
        fi
    done
done
[ $status -eq 0 ] && echo "every include points to the same or a lower layer"
exit $status
