#!/usr/bin/env bash
# The installed program, as the desktop finds and starts it:
#   tst_install.sh BUILD_DIR
# Installs into a temporary prefix, checks every file is where the desktop
# expects it and that the desktop entry and AppStream data validate, then
# starts the installed program as its menu entry does, with HOME an empty
# folder, and as a terminal user does.
set -uo pipefail
build=$1
work=$(mktemp -d)
pids=()
cleanup() {
    for p in "${pids[@]}"; do kill -KILL "$p" 2>/dev/null && wait "$p" 2>/dev/null; done
    rm -rf "$work"
}
trap cleanup EXIT
failures=0
check() {
    local what=$1
    shift
    if "$@"; then echo "ok: $what"; else echo "FAIL: $what"; failures=$((failures + 1)); fi
}

prefix=$work/usr
cmake --install "$build" --prefix "$prefix" >"$work/install.log" 2>&1 ||
    { cat "$work/install.log"; echo "FAIL: cmake --install"; exit 1; }

id=org.rondella.Rondella
for f in bin/rondella libexec/rondella/rondella-mdbread share/man/man1/rondella.1.gz \
         share/rondella/help.html share/rondella/dialog.WAV share/rondella/drop.WAV \
         share/rondella/jacket/damie.jpg \
         share/applications/$id.desktop share/metainfo/$id.metainfo.xml \
         share/icons/hicolor/scalable/apps/$id.svg \
         share/icons/hicolor/48x48/apps/$id.png share/icons/hicolor/256x256/apps/$id.png \
         share/doc/rondella/copyright share/doc/rondella/changelog.Debian.gz; do
    check "installed: $f" test -s "$prefix/$f"
done
check "the programs can be run" test -x "$prefix/bin/rondella" -a -x "$prefix/libexec/rondella/rondella-mdbread"

# A PNG's width and height, from its header.
png_size() { od -An -tu1 -j16 -N8 "$1" | awk '{printf "%dx%d", $3*256+$4, $7*256+$8}'; }
check "48 px icon is 48x48" test "$(png_size "$prefix/share/icons/hicolor/48x48/apps/$id.png")" = 48x48
check "256 px icon is 256x256" test "$(png_size "$prefix/share/icons/hicolor/256x256/apps/$id.png")" = 256x256
check "the icon is SVG" grep -q "<svg" "$prefix/share/icons/hicolor/scalable/apps/$id.svg"

desktop=$prefix/share/applications/$id.desktop
check "desktop-file-validate" desktop-file-validate "$desktop"
check "appstreamcli validate" appstreamcli validate --no-net "$prefix/share/metainfo/$id.metainfo.xml"
check "the entry starts rondella --open-last" grep -qx "Exec=rondella --open-last" "$desktop"
check "the entry names the installed icon" grep -qx "Icon=$id" "$desktop"
check "the entry's Japanese name" grep -qx "Name\[ja\]=Rondella（CD・曲目録）" "$desktop"
check "the entry's categories" grep -qx "Categories=AudioVideo;Audio;Database;Qt;" "$desktop"
check "the entry's Japanese keywords" grep -qx "Keywords\[ja\]=CD;曲;作曲者;クラシック;" "$desktop"
check "the description names the entry" grep -q "<launchable type=\"desktop-id\">$id.desktop</launchable>" \
    "$prefix/share/metainfo/$id.metainfo.xml"

export PATH=$prefix/bin:$PATH QT_QPA_PLATFORM=offscreen LC_ALL=C.UTF-8
export XDG_RUNTIME_DIR=$work/runtime
mkdir -m 700 "$XDG_RUNTIME_DIR"
unset XDG_CONFIG_HOME

# --help and --version, long or short, answer in Japanese on the terminal and
# end at once, with no screen to show a window on.
for opt in --help -h --version -v; do
    out=$(cd "$work" && env -u QT_QPA_PLATFORM -u DISPLAY -u WAYLAND_DISPLAY timeout 20 rondella $opt)
    check "$opt ends with 0" test "$?" -eq 0
    case $opt in
    *h*) check "$opt is Japanese and names --open-last" grep -q "使い方: rondella.*--open-last" <<<"$(tr '\n' ' ' <<<"$out")" ;;
    *) check "$opt names the version" grep -qE "^Rondella [0-9]+\.[0-9]+（音楽CDと曲の目録）$" <<<"$out" ;;
    esac
done
# Arguments not understood end with 2 and say why, in a window start and a
# start without one alike; nothing is made where the program was started.
# Qt's own options are understood.
mkdir "$work/mistyped"
while IFS='|' read -r args said; do
    read -ra words <<<"$args"
    # refused before any screen is needed: none is given
    err=$(cd "$work/mistyped" && env -u QT_QPA_PLATFORM -u DISPLAY -u WAYLAND_DISPLAY \
        timeout 20 rondella "${words[@]}" 2>&1 >/dev/null); status=$?
    check "rondella $args ends with 2" test "$status" -eq 2
    check "rondella $args says: $said" grep -qF -- "$said" <<<"$err"
done <<'ROWS'
--open-lst|知らないオプションです: --open-lst
--open-last --bogus x|知らないオプションです: --bogus
--import-audio|「--import-audio」の後にフォルダーを指定してください
--import-audio . --collection|「--collection」の後にフォルダーを指定してください
--help=all|オプションの書き方が正しくありません: --help=all
one two|開けるフォルダーは一つです: one two
--collection .|--import-audio と一緒に指定してください
--allow-duplicates|--import-audio と一緒に指定してください
--import-audio . --open-last|--open-last は --import-audio と一緒には指定できません
-platform offscreen --bogus|知らないオプションです: --bogus
ROWS
check "a refused start makes nothing" test -z "$(ls -A "$work/mistyped")"

# Starts the program in the background (in folder $1, HOME $2, then its
# arguments) and waits until it holds the collection in $3 (its lock names
# it); prints its process number.
start() {
    local dir=$1 home=$2 folder=$3
    shift 3
    (cd "$dir" && HOME=$home exec rondella "$@" >"$work/out.log" 2>&1) &
    local pid=$!
    pids+=("$pid")
    for _ in $(seq 1 300); do
        if [ -s "$folder/cdkaisou.db" ] && [ "$(head -n1 "$folder/cdkaisou.db.lock" 2>/dev/null)" = "$pid" ]; then
            echo "$pid"
            return 0
        fi
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.2
    done
    cat "$work/out.log" >&2
    echo "$pid"
    return 1
}
stop() { kill -TERM "$1" 2>/dev/null; wait "$1" 2>/dev/null; }
# Starts the program (HOME $1, its words into $2, then its arguments) where it
# is to refuse the start: waits for the refusal on its terminal (its message
# box waits for a click nobody gives), then ends it.
refused() {
    local home=$1 log=$2
    shift 2
    (cd / && HOME=$home exec rondella "$@" >"$log" 2>&1) &
    local pid=$!
    pids+=("$pid")
    for _ in $(seq 1 100); do
        grep -q "」" "$log" && break
        sleep 0.2
    done
    kill -KILL "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
}

home=$work/home
mkdir "$home"
# As the menu entry starts it: ~/Rondella is made, with the shipped files and a collection.
pid=$(start / "$home" "$home/Rondella" --open-last); started=$?
check "--open-last the first time opens ~/Rondella" test "$started" -eq 0
for f in help.html dialog.WAV drop.WAV jacket/damie.jpg; do
    check "~/Rondella has $f" cmp -s "$prefix/share/rondella/$f" "$home/Rondella/$f"
done
stop "$pid"
# the second start opens it again, and a file changed there is never replaced
echo "<p>mine</p>" >"$home/Rondella/help.html"
pid=$(start / "$home" "$home/Rondella" --open-last); started=$?
check "--open-last again opens the same folder" test "$started" -eq 0
check "a shipped file already there is kept" grep -q mine "$home/Rondella/help.html"
stop "$pid"
# a folder argument wins, and becomes the folder used last
other="$work/もう一つのコレクション"
pid=$(start / "$home" "$other" --open-last "$other"); started=$?
check "a folder argument wins" test "$started" -eq 0
check "the folder argument's folder has the shipped files" test -s "$other/help.html"
stop "$pid"
pid=$(start / "$home" "$other" --open-last); started=$?
check "--open-last then opens the folder used last" test "$started" -eq 0
stop "$pid"
# the folder used last is gone (a disk not plugged in): said so, not made again empty
mv "$other" "$work/moved-away"
refused "$home" "$work/gone.log" --open-last
check "a last folder that is gone is named" grep -q "「$other」が見つかりません" "$work/gone.log"
check "and not made again" test ! -e "$other"

# no option, no folder: the folder it is started in, as ever; nothing else laid there
empty=$work/empty
mkdir "$empty"
pid=$(start "$empty" "$home" "$empty"); started=$?
check "without options the current folder is the collection" test "$started" -eq 0
check "without options no shipped file is laid out" test ! -e "$empty/help.html"
stop "$pid"
# a folder that cannot be made is refused, named
touch "$work/a-file"
refused "$home" "$work/refused.log" "$work/a-file/collection"
check "a folder that cannot be made is refused, named" \
    grep -q "「$work/a-file/collection」を作れないか、書き込めません" "$work/refused.log"
check "nothing is made for it" test ! -e "$work/a-file/collection"

if [ "$failures" -gt 0 ]; then
    echo "$failures checks failed"
    exit 1
fi
echo "all checks passed"
