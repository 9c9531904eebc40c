#!/usr/bin/env bash
# Installs what is missing (Debian 12), builds, then runs Rondella on a
# collection folder or runs every test.
#   bash tools/rondella.sh run [collection-folder]   (default: ~/Rondella)
#   bash tools/rondella.sh test
#   bash tools/rondella.sh test-asan                 (every test again, built with
#                                                     AddressSanitizer and UBSan in build-asan/)
#   bash tools/rondella.sh setup                     (install what is missing, nothing else)
set -Eeuo pipefail
shopt -s inherit_errexit

# Every step that fails says which one it was, so the command never ends in silence.
trap 'status=$?; echo "rondella.sh: step failed (status $status): $BASH_COMMAND" >&2;
      echo "rondella.sh: 次の手順が失敗しました（終了コード $status）: $BASH_COMMAND" >&2' ERR

top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build="$top/build"
# The same tree built with AddressSanitizer and UBSan (GCC's own runtimes, which
# come with g++): memory faults and undefined behaviour fail the tests there.
asan_build="$top/build-asan"
packages=(g++ cmake make pkg-config
          qt6-base-dev libqt6sql6-sqlite qt6-multimedia-dev
          fonts-ipafont-gothic fonts-noto-cjk qt6-translations-l10n
          mdbtools-dev libcsv-dev libsqlite3-dev libicu-dev poppler-utils
          clang-format libtag1-dev sox libsox-fmt-mp3 ffmpeg
          qt6-charts-dev libqt6opengl6-dev libzip-dev
          desktop-file-utils appstream dpkg-dev file lintian
          chromium chromium-driver)

fail() {
    trap - ERR
    echo "$1" >&2
    echo "$2" >&2
    exit 1
}

# The packages of the list that dpkg does not report as installed, on one line.
missing_packages() {
    local installed
    # One query for all of them, so the run command starts an installed program at
    # once. dpkg-query exits 1 when any package named is unknown to it: that is the
    # answer we are asking for, not a failure.
    installed=$(dpkg-query -W -f='${Package} ${Status}\n' "${packages[@]}" 2>/dev/null || true)
    installed=$(awk '$NF == "installed" && $(NF-1) == "ok" { sub(/:.*/, "", $1); print $1 }' \
        <<<"$installed")
    local p missing=()
    for p in "${packages[@]}"; do
        grep -qx -- "$p" <<<"$installed" || missing+=("$p")
    done
    echo "${missing[*]}"
}

install_missing() {
    local list missing
    list=$(missing_packages)
    read -ra missing <<<"$list"
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing: ${missing[*]}"
    echo "インストールします: ${missing[*]}"
    local sudo=()
    if [ "$(id -u)" -ne 0 ]; then
        command -v sudo >/dev/null 2>&1 ||
            fail "Cannot install ${missing[*]}: this needs root, and sudo is not available. Install them as root, then run this command again." \
                 "${missing[*]} をインストールできません。root の権限が必要ですが、sudo がありません。root でインストールしてから、もう一度実行してください。"
        sudo=(sudo)
    fi
    "${sudo[@]}" apt-get update ||
        fail "apt-get update failed: the package lists could not be read (no network, or no root rights?)." \
             "apt-get update に失敗しました。パッケージの一覧を取得できません（ネットワークまたは root の権限を確認してください）。"
    "${sudo[@]}" apt-get install -y --no-install-recommends -o DPkg::Lock::Timeout=600 "${missing[@]}" ||
        fail "apt-get install failed for: ${missing[*]} (a package not found, no network, or no root rights?)." \
             "次のパッケージをインストールできませんでした: ${missing[*]}（パッケージ名、ネットワーク、root の権限を確認してください）。"
    list=$(missing_packages)
    read -ra missing <<<"$list"
    [ ${#missing[@]} -eq 0 ] ||
        fail "Still not installed after apt-get: ${missing[*]}" \
             "apt-get の後もインストールされていません: ${missing[*]}"
}

configure() {
    [ -f "$build/CMakeCache.txt" ] ||
        cmake -S "$top" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DRONDELLA_WERROR=ON
}

build_all() {
    configure
    cmake --build "$build" -j"$(nproc)"
}

test_asan() {
    [ -f "$asan_build/CMakeCache.txt" ] ||
        # optimised a little and with line tables only: built in half the time
        # of a full debug build, its reports still name the file and line
        cmake -S "$top" -B "$asan_build" -DCMAKE_BUILD_TYPE=Debug "-DCMAKE_CXX_FLAGS_DEBUG=-O1 -g1" \
            "-DRONDELLA_SANITIZE=address;undefined"
    cmake --build "$asan_build" -j"$(nproc)"
    (cd "$asan_build" && ctest --output-on-failure)
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

# Lines of code in a folder: neither blank nor a comment (// and /* */ in C++,
# # in shell, CMake and the fault table).
code_lines() {
    find "$1" -type f \( -name '*.cpp' -o -name '*.h' -o -name '*.sh' -o -name '*.txt' -o -name '*.supp' \) -print0 |
        xargs -0 awk '
            FNR == 1 { cxx = FILENAME ~ /\.(cpp|h)$/; block = 0 }
            {
                line = $0
                if (cxx) {
                    if (block) { if (line ~ /\*\//) { block = 0; sub(/.*\*\//, "", line) } else next }
                    if (line ~ /^[ \t]*\/\*/ && line !~ /\*\//) { block = 1; next }
                    if (line ~ /^[ \t]*(\/\/|\/\*.*\*\/[ \t]*$)/) next
                } else if (line ~ /^[ \t]*#/ && line !~ /^#!/) next
                if (line ~ /^[ \t]*$/) next
                n++
            }
            END { print n + 0 }'
}

ratio() {
    local program tests
    program=$(code_lines "$top/src")
    tests=$(code_lines "$top/tests")
    awk -v t="$tests" -v p="$program" 'BEGIN { printf "tests %d lines, program %d lines: %.2f\n", t, p, t / p }'
}

case "${1:-}" in
setup)
    install_missing
    ;;
run)
    folder=${2:-$HOME/Rondella}
    install_missing
    build_program
    if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
        echo "Rondella needs a graphical display (X11 or Wayland), and none is available here." >&2
        echo "画面（X11 または Wayland）が見つからないため、Rondella を表示できません。" >&2
        exit 1
    fi
    # the program makes the folder and lays the help page, sounds and placeholder jacket in it
    exec "$build/src/rondella" "$folder"
    ;;
test)
    install_missing
    build_all
    cd "$build"
    ctest --output-on-failure
    ;;
test-asan)
    install_missing
    test_asan
    ;;
ratio)
    ratio
    ;;
*)
    echo "usage: bash tools/rondella.sh run [collection-folder] | test | test-asan | setup | ratio" >&2
    exit 2
    ;;
esac
