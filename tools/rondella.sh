#!/usr/bin/env bash
# Installs what is missing (Debian 12), builds, then runs Rondella on a
# collection folder or runs every test.
#   bash tools/rondella.sh run [collection-folder]   (default: ~/Rondella)
#   bash tools/rondella.sh test
set -euo pipefail

top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build="$top/build"
packages=(g++ cmake make qt6-base-dev libqt6sql6-sqlite qt6-multimedia-dev
          fonts-ipafont-gothic fonts-noto-cjk qt6-translations-l10n
          pkg-config mdbtools-dev libcsv-dev libsqlite3-dev libicu-dev poppler-utils)

install_missing() {
    local missing=() installed
    # one query for all of them: the run command starts an installed program at once
    installed=$(dpkg-query -W -f='${Package} ${Status}\n' "${packages[@]}" 2>/dev/null \
        | awk '$NF == "installed" && $(NF-1) == "ok" { print $1 }')
    for p in "${packages[@]}"; do
        grep -qx -- "$p" <<<"$installed" || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing: ${missing[*]}"
    local sudo=()
    [ "$(id -u)" -eq 0 ] || sudo=(sudo)
    "${sudo[@]}" apt-get update
    "${sudo[@]}" apt-get install -y --no-install-recommends -o DPkg::Lock::Timeout=600 "${missing[@]}"
}

configure() {
    [ -f "$build/CMakeCache.txt" ] || cmake -S "$top" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo
}

build_all() {
    configure
    cmake --build "$build" -j"$(nproc)"
}

# Only the program, and nothing at all when no source is newer than it: the
# window comes up at once on an already built tree.
build_program() {
    local exe="$build/src/rondella"
    if [ -x "$exe" ] && [ -z "$(find "$top/src" "$top/resources" "$top/CMakeLists.txt" \
            -newer "$exe" -print -quit 2>/dev/null)" ]; then
        return 0
    fi
    configure
    cmake --build "$build" -j"$(nproc)" --target rondella
}

# Puts the shipped files into the collection folder where they are missing;
# a file the user already has is never overwritten.
lay_out_folder() {
    local folder=$1
    mkdir -p "$folder/jacket"
    for f in dialog.WAV drop.WAV help.html jacket/damie.jpg; do
        [ -e "$folder/$f" ] || cp "$top/resources/$f" "$folder/$f"
    done
}

case "${1:-}" in
run)
    folder=${2:-$HOME/Rondella}
    install_missing
    build_program
    if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
        echo "Rondella needs a graphical display (X11 or Wayland), and none is available here." >&2
        echo "画面（X11 または Wayland）が見つからないため、Rondella を表示できません。" >&2
        exit 1
    fi
    lay_out_folder "$folder"
    cd "$folder"
    exec "$build/src/rondella"
    ;;
test)
    install_missing
    build_all
    cd "$build"
    ctest --output-on-failure
    ;;
*)
    echo "usage: bash tools/rondella.sh run [collection-folder] | test" >&2
    exit 2
    ;;
esac
