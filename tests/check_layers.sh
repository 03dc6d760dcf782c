#!/bin/sh
# check_layers.sh [SRC [TESSERA_CLI]]: fails when a source file includes a header of a layer it
# does not stand on, when a widget file runs database statements of its own, or when
# tessera-cli needs Qt Widgets.
# The core, lowest first: app, cookies, db, transfer, models, startup; tessera-cli (cli/) sits
# on it. The widget layers: controls (on app), query and settings_ui (on the core and
# controls, not on each other), viewer (on all of them). Includes are read in both forms
# ("..." and <...>) and relative ones ("../x/y.h") are resolved against the including file.
set -eu
src=${1:-$(dirname "$0")/../src}
cli=${2:+$(realpath "$2")}

status=0
cd "$src"
find . -name '*.cpp' -o -name '*.h' -o -name '*.hpp' | sed 's#^\./##' | sort | xargs awk '
BEGIN {
    core = "app cookies db transfer models startup"
    may["app"] = "app"
    may["cookies"] = "app cookies"
    may["db"] = "app cookies db"
    may["transfer"] = "app cookies db transfer"
    may["models"] = "app cookies db transfer models"
    may["startup"] = core
    may["cli"] = core " cli"
    may["controls"] = "app controls"
    may["query"] = core " controls query"
    may["settings_ui"] = core " controls settings_ui"
    may["viewer"] = core " controls query settings_ui viewer"
    may["."] = may["viewer"]
    bad = 0
}
# "a/b/../c" as "a/c"; a climb above the root stays "..".
function fold(path,    parts, n, i, out, m, s) {
    n = split(path, parts, "/"); m = 0
    for (i = 1; i <= n; i++) {
        if (parts[i] == "..") { if (m > 0 && out[m] != "..") m--; else out[++m] = ".." }
        else if (parts[i] != "." && parts[i] != "") out[++m] = parts[i]
    }
    s = ""
    for (i = 1; i <= m; i++) s = s (i > 1 ? "/" : "") out[i]
    return s
}
FNR == 1 {
    dir = FILENAME; sub(/\/[^\/]*$/, "", dir); if (dir == FILENAME) dir = "."
    if (!(dir in may)) { print FILENAME ": in no layer"; bad = 1 }
}
/^[ \t]*#[ \t]*include[ \t]*["<]/ {
    if (!(dir in may)) next
    header = $0; sub(/^[^"<]*["<]/, "", header); sub(/[">].*$/, "", header)
    if (header ~ /^\.\.?\//) path = fold(dir "/" header)
    else if (header ~ /\//) path = fold(header)
    else next # a header of the same folder, or of a library
    used = path; sub(/\/.*$/, "", used)
    if (used == path || !((used in may) || used == "..") || used == ".") next
    if (index(" " may[dir] " ", " " used " ") == 0) {
        print FILENAME " includes " header ", from a layer it does not stand on"; bad = 1
    }
}
END { exit bad }
' || status=1
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
