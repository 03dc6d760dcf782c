#!/bin/sh
# check_layers.sh [SRC [TESSERA_CLI]]: fails when a source file includes a header of a layer it
# does not stand on, when a widget file runs database statements of its own (the repositories
# of db/ run them), or when tessera-cli needs Qt Widgets.
# The core, lowest first: app, cookies, db, transfer, models, startup; tessera-cli (cli/) sits
# on it. The widget layers: controls (on app), query and settings_ui (on the core and
# controls, not on each other), viewer (on all of them). Includes are read in both forms
# ("..." and <...>) and relative ones ("../x/y.h") are resolved against the including file.
set -eu
src=${1:-$(dirname "$0")/../src}
cli=${2:-}

CORE="app cookies db transfer models startup"

# The folders a file of folder $1 may include from; "unknown" for a file in no layer.
allowed() {
    case "$1" in
    app) echo "app" ;;
    cookies) echo "app cookies" ;;
    db) echo "app cookies db" ;;
    transfer) echo "app cookies db transfer" ;;
    models) echo "app cookies db transfer models" ;;
    startup) echo "$CORE" ;;
    cli) echo "$CORE cli" ;;
    controls) echo "app controls" ;;
    query) echo "$CORE controls query" ;;
    settings_ui) echo "$CORE controls settings_ui" ;;
    viewer | .) echo "$CORE controls query settings_ui viewer" ;;
    *) echo unknown ;;
    esac
}

is_layer() {
    [ "$(allowed "$1")" != unknown ] && [ "$1" != . ]
}

# $2 (an include of file $1) as a path from the source root; empty for a library header.
resolve() {
    dir=$(dirname "$1")
    case "$2" in
    ../* | ./*) path="$dir/$2" ;;
    */*) path=$2 ;;
    *) [ -e "$dir/$2" ] && path="$dir/$2" || path="" ;;
    esac
    # Folds "a/../" and "./" so that climbing out of a folder is seen for what it reaches.
    echo "$path" | awk -F/ '{ n = 0; for (i = 1; i <= NF; i++) { if ($i == "..") { if (n > 0) n--; else out[++n] = ".."; } else if ($i != "." && $i != "") out[++n] = $i } s = ""; for (i = 1; i <= n; i++) s = s (i > 1 ? "/" : "") out[i]; print s }'
}

status=0
cd "$src"
for file in $(find . -name '*.cpp' -o -name '*.h' -o -name '*.hpp' | sed 's#^\./##' | sort); do
    folder=$(dirname "$file")
    may=$(allowed "$folder")
    if [ "$may" = unknown ]; then
        echo "$file: in no layer"
        status=1
        continue
    fi
    for header in $(sed -n 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*["<]\([^">]*\)[">].*/\1/p' "$file"); do
        path=$(resolve "$file" "$header")
        used=${path%%/*}
        [ -n "$path" ] && [ "$used" != "$path" ] || continue
        is_layer "$used" || [ "$used" = .. ] || continue
        case " $may " in
        *" $used "*) ;;
        *)
            echo "$file includes $header, from a layer it does not stand on"
            status=1
            ;;
        esac
    done
done
for file in $(grep -rlE '\b(Prepare|Execute|OpenRecordset|BeginTrans|CommitTrans|Rollback)\(|\bTransaction\b' \
    controls query settings_ui viewer); do
    echo "$file runs database statements of its own"
    status=1
done
if [ -n "$cli" ] && readelf -d "$cli" | grep -q 'NEEDED.*Widgets'; then
    echo "$cli links Qt Widgets"
    status=1
fi
[ $status -eq 0 ] && echo "every include points to the same or a lower layer"
exit $status
