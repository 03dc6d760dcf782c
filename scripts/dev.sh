#!/bin/sh
# Installs what is missing (Debian 12, as root or with sudo), builds, then runs the
# program ("run"), every test ("test") or the benchmarks ("bench"), or builds the Debian
# package ("package [BUILD_DIR]": a Release tree in build-package/, or the given built tree).
set -eu
cd "$(dirname "$0")/.."

PACKAGES="cmake ninja-build g++ pkg-config qt6-base-dev qt6-base-dev-tools libgl-dev \
libsqlite3-dev sqlite3 libarchive-dev jlha-utils fonts-noto-cjk xvfb xauth libqt6svg6 \
qt6-translations-l10n desktop-file-utils appstream"

install_missing() {
    missing=""
    for p in $PACKAGES; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
    done
    [ -z "$missing" ] && return 0
    SUDO=""
    [ "$(id -u)" -ne 0 ] && SUDO="sudo"
    echo "Installing:$missing"
    $SUDO apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends $missing
}

build() {
    dir=$1; shift
    cmake -S . -B "$dir" -G Ninja "$@" >/dev/null
    cmake --build "$dir"
}

case "${1:-}" in
run)
    install_missing
    build build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTESSERA_BUILD_TESTS=OFF
    exec ./build/src/tessera
    ;;
test)
    install_missing
    build build-test -DCMAKE_BUILD_TYPE=Debug -DTESSERA_BUILD_TESTS=ON
    cd build-test && exec ctest --output-on-failure -j"$(nproc)"
    ;;
bench)
    install_missing
    exec bench/run
    ;;
package)
    PACKAGES="$PACKAGES dpkg-dev file" # dpkg-shlibdeps and file find the Depends
    install_missing
    dir=${2:-build-package}
    if [ -n "${2:-}" ]; then
        cmake --build "$dir"
    else # only what is installed: cpack then builds nothing more
        cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTESSERA_BUILD_TESTS=OFF \
            -DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON >/dev/null
        cmake --build "$dir" --target tessera tessera-cli tessera_man
    fi
    (cd "$dir" && cpack -G DEB >cpack.log) || { cat "$dir/cpack.log"; exit 1; }
    for deb in "$dir"/tessera_*.deb; do
        echo "$deb (Depends: $(dpkg-deb -f "$deb" Depends))"
    done
    ;;
*)
    echo "usage: $0 run|test|bench|package [BUILD_DIR]" >&2
    exit 2
    ;;
esac
