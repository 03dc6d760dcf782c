#!/bin/sh
# Installs the build tree into a temporary prefix and checks what lands there: the programs
# (answering --version without a display, creating a new user's program folder), the desktop
# entry, the metainfo, the icons, the manual pages, ReadMe.txt and the licence (GPL-3.0-or-later:
# LICENSE, the metainfo and the machine-readable copyright file). The desktop entry and the
# metainfo go through desktop-file-validate and appstreamcli where those tools are installed;
# without them the test ends as skipped (status 77), saying which tool is missing.
# usage: check_install.sh BUILD_DIR SOURCE_DIR
set -u
build=$1
source=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix
share=$prefix/share
failures=0

fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

if ! cmake --install "$build" --prefix "$prefix" >"$work/install.log" 2>&1; then
    cat "$work/install.log"
    echo "FAIL: cmake --install failed"
    exit 1
fi

entry=$share/applications/tessera.desktop
metainfo=$share/metainfo/org.tesseraproject.Tessera.metainfo.xml
for file in bin/tessera bin/tessera-cli share/applications/tessera.desktop \
    share/metainfo/org.tesseraproject.Tessera.metainfo.xml \
    share/icons/hicolor/scalable/apps/tessera.svg share/icons/hicolor/48x48/apps/tessera.png \
    share/icons/hicolor/256x256/apps/tessera.png share/tessera/ReadMe.txt \
    share/man/man1/tessera.1.gz share/man/man1/tessera-cli.1.gz share/doc/tessera/copyright \
    lib/systemd/user/tessera-receive.service lib/systemd/user/tessera-receive.timer; do
    [ -s "$prefix/$file" ] || fail "not installed: $file"
done
for program in tessera tessera-cli; do
    [ -x "$prefix/bin/$program" ] || fail "not executable: bin/$program"
done

# A PNG's width and height are the big-endian words at bytes 16 and 20.
png_size() {
    od -An -tu1 -j16 -N8 "$1" | awk '{ printf "%dx%d", $3 * 256 + $4, $7 * 256 + $8 }'
}
for size in 48 256; do
    icon=$share/icons/hicolor/${size}x$size/apps/tessera.png
    [ -f "$icon" ] && [ "$(png_size "$icon")" != "${size}x$size" ] \
        && fail "$icon is $(png_size "$icon"), not ${size}x$size"
done

if [ -f "$entry" ]; then
    for line in 'Name=' 'Name\[ja\]=' 'Comment=' 'Comment\[ja\]=' 'Icon=tessera$' 'Exec=tessera$'; do
        grep -q "^$line" "$entry" || fail "desktop entry has no line $line"
    done
    categories=$(sed -n 's/^Categories=//p' "$entry")
    for category in Network News; do
        case ";$categories" in *";$category;"*) ;; *) fail "desktop entry lacks category $category" ;; esac
    done
fi

# The user units: the service runs the installed tessera-cli; the timer, hourly, waits to be
# enabled by the user (nothing enables it on installation).
units=$prefix/lib/systemd/user
grep -qx "ExecStart=$prefix/bin/tessera-cli receive --visit" "$units/tessera-receive.service" \
    || fail "tessera-receive.service does not run $prefix/bin/tessera-cli receive --visit"
for line in 'OnCalendar=hourly' 'WantedBy=timers.target'; do
    grep -qx "$line" "$units/tessera-receive.timer" || fail "tessera-receive.timer has no line $line"
done
if command -v systemd-analyze >/dev/null; then
    (cd "$units" && systemd-analyze verify --man=no ./tessera-receive.timer ./tessera-receive.service) \
        || fail "systemd-analyze rejects the user units"
fi
grep -q 'systemctl \\-\\-user enable \\-\\-now tessera\\-receive.timer' "$source/resources/man/tessera-cli.1" \
    || fail "tessera-cli.1 does not say how to enable the timer"

# The licence, said the same way everywhere.
grep -q 'Version 3, 29 June 2007' "$source/LICENSE" || fail "LICENSE is not the GPL version 3"
for line in '<project_license>GPL-3.0-or-later</project_license>' '<metadata_license>FSFAP</metadata_license>'; do
    grep -q "$line" "$metainfo" || fail "metainfo has no $line"
done
copyright=$share/doc/tessera/copyright
head -n 1 "$copyright" | grep -qx 'Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' \
    || fail "$copyright is not in Debian's machine-readable format"
grep -qx 'License: GPL-3+' "$copyright" || fail "$copyright does not name GPL-3+"

# Both programs answer --version before touching a display or the program folder.
for program in tessera tessera-cli; do
    version=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$prefix/bin/$program" --version 2>&1)
    case $version in
    "Tessera Ver."[0-9]*.[0-9]*.[0-9]*) ;;
    *) fail "$program --version printed: $version" ;;
    esac
done

# A new user: the first run creates the program folder under XDG_DATA_HOME's default.
home=$work/home
mkdir "$home"
if ! env -u TESSERA_HOME -u XDG_DATA_HOME HOME="$home" "$prefix/bin/tessera-cli" boards >"$work/boards.out" 2>&1; then
    cat "$work/boards.out"
    fail "tessera-cli boards failed for a new user"
fi
for file in log.mdb ReadMe.txt; do
    [ -f "$home/.local/share/tessera/$file" ] || fail "no $file in the new user's ~/.local/share/tessera/"
done

# Every command of tessera-cli's usage text has its entry in the manual page.
commands=$("$prefix/bin/tessera-cli" --help | sed -n 's/^  \([a-z][a-z]*\).*/\1/p')
[ -n "$commands" ] || fail "tessera-cli --help lists no commands"
for command in $commands; do
    grep -q "^\.BI\{0,1\} $command\b" "$source/resources/man/tessera-cli.1" \
        || fail "tessera-cli.1 does not document the command $command"
done
for option in --home --yes --no --version --help --full --visit --all; do
    grep -q "$(echo "$option" | sed 's/-/\\\\-/g')" "$source/resources/man/tessera-cli.1" \
        || fail "tessera-cli.1 does not document the option $option"
done

missing=""
if command -v desktop-file-validate >/dev/null; then
    desktop-file-validate "$entry" || fail "desktop-file-validate rejects $entry"
else
    missing="$missing desktop-file-validate (apt install desktop-file-utils)"
fi
if command -v appstreamcli >/dev/null; then
    appstreamcli validate --no-net "$metainfo" || fail "appstreamcli rejects $metainfo"
else
    missing="$missing appstreamcli (apt install appstream)"
fi

if [ "$failures" -gt 0 ]; then
    echo "$failures check(s) failed"
    exit 1
fi
if [ -n "$missing" ]; then
    echo "SKIP: the installed files are right, but these validators are not installed:$missing"
    exit 77
fi
echo "installed files checked"
