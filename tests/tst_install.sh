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
pids=() # programs started, ended at the end whatever happens
trap 'for p in "${pids[@]}"; do kill -KILL "$p" 2>/dev/null && wait "$p" 2>/dev/null; done; rm -rf "$work"' EXIT
failures=0
check() {
    local what=$1
    shift
    if "$@"; then echo "ok: $what"; else echo "FAIL: $what"; failures=$((failures + 1)); return 1; fi
}

prefix=$work/usr
cmake --install "$build" --prefix "$prefix" >"$work/install.log" 2>&1 ||
    { cat "$work/install.log"; echo "FAIL: cmake --install"; exit 1; }

id=org.rondella.Rondella icons=share/icons/hicolor
for f in bin/rondella libexec/rondella/rondella-mdbread share/man/man1/rondella.1.gz \
         share/rondella/{help.html,dialog.WAV,drop.WAV,jacket/damie.jpg} share/applications/$id.desktop \
         share/metainfo/$id.metainfo.xml $icons/{scalable/apps/$id.svg,48x48/apps/$id.png,256x256/apps/$id.png} \
         share/doc/rondella/{copyright,changelog.Debian.gz}; do
    check "installed: $f" test -s "$prefix/$f"
done
check "the programs can be run" test -x "$prefix/bin/rondella" -a -x "$prefix/libexec/rondella/rondella-mdbread"
for n in 48 256; do # a PNG's width and height, from its header
    check "$n px icon is ${n}x$n" test "$(od -An -tu1 -j16 -N8 "$prefix/$icons/${n}x$n/apps/$id.png" |
        awk '{printf "%dx%d", $3*256+$4, $7*256+$8}')" = "${n}x$n"
done
check "the icon is SVG" grep -q "<svg" "$prefix/$icons/scalable/apps/$id.svg"

desktop=$prefix/share/applications/$id.desktop metainfo=$prefix/share/metainfo/$id.metainfo.xml
check "desktop-file-validate" desktop-file-validate "$desktop"
check "appstreamcli validate" appstreamcli validate --no-net "$metainfo"
for line in "Exec=rondella --open-last" "Icon=$id" "Name[ja]=Rondella（CD・曲目録）" \
            "Categories=AudioVideo;Audio;Database;Qt;" "Keywords[ja]=CD;曲;作曲者;クラシック;"; do
    check "the entry has $line" grep -qxF "$line" "$desktop"
done
check "the description names the entry" grep -q "<launchable type=\"desktop-id\">$id.desktop</launchable>" "$metainfo"

export PATH=$prefix/bin:$PATH QT_QPA_PLATFORM=offscreen LC_ALL=C.UTF-8 XDG_RUNTIME_DIR=$work/runtime
mkdir -m 700 "$XDG_RUNTIME_DIR"
unset XDG_CONFIG_HOME
# runs the program with no screen to show a window on
screenless() { env -u QT_QPA_PLATFORM -u DISPLAY -u WAYLAND_DISPLAY timeout 20 rondella "$@"; }

# --help and --version, long or short, answer in Japanese on the terminal and
# end at once.
for opt in --help -h --version -v; do
    out=$(cd "$work" && screenless $opt)
    check "$opt ends with 0" test "$?" -eq 0
    case $opt in
    *h*) check "$opt is Japanese and names --open-last" grep -q "使い方: rondella.*--open-last" <<<"$(tr '\n' ' ' <<<"$out")" ;;
    *) check "$opt names the version" grep -qE "^Rondella [0-9]+\.[0-9]+（音楽CDと曲の目録）$" <<<"$out" ;;
    esac
done
# Arguments not understood end with 2 and say why, before any screen is
# needed; nothing is made where the program was started. Qt's own options are
# understood.
mkdir "$work/mistyped"
while IFS='|' read -r args said; do
    read -ra words <<<"$args"
    err=$(cd "$work/mistyped" && screenless "${words[@]}" 2>&1 >/dev/null)
    check "rondella $args ends with 2" test "$?" -eq 2
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

# [signal=SIG] started FOLDER ARGS...: starts the program in the background in
# FOLDER, HOME an empty folder, and waits until the test in $ready holds, then
# ends it; fails if the test never held.
home=$work/home
mkdir "$home"
started() {
    (cd "$1" && shift && HOME=$home exec rondella "$@" >"$work/out.log" 2>&1) &
    pid=$!
    pids+=("$pid")
    local held=1
    for _ in $(seq 1 300); do
        eval "$ready" && { held=0; break; }
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.2
    done
    kill "-${signal:-TERM}" "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
    return $held
}
# opens WHAT FOLDER ARGS...: the program holds the collection in $collection (its lock names it)
ready='[ -s "$collection/cdkaisou.db" ] && [ "$(head -n1 "$collection/cdkaisou.db.lock" 2>/dev/null)" = "$pid" ]'
opens() { check "$1" started "${@:2}" || cat "$work/out.log"; }
# refused WHAT SAID ARGS...: started where it is to refuse the start, the
# program says why on its terminal (its message box waits for a click nobody gives)
refused() {
    local said=$2
    ready='grep -qF -- "$said" "$work/out.log"' signal=KILL check "$1" started / "${@:3}" || cat "$work/out.log"
}

# As the menu entry starts it: ~/Rondella is made, with the shipped files and a collection.
collection=$home/Rondella
opens "--open-last the first time opens ~/Rondella" / --open-last
for f in help.html dialog.WAV drop.WAV jacket/damie.jpg; do
    check "~/Rondella has $f" cmp -s "$prefix/share/rondella/$f" "$collection/$f"
done
# the second start opens it again, and a file changed there is never replaced
echo "<p>mine</p>" >"$collection/help.html"
opens "--open-last again opens the same folder" / --open-last
check "a shipped file already there is kept" grep -q mine "$collection/help.html"
# a folder argument wins, and becomes the folder used last
collection="$work/もう一つのコレクション"
opens "a folder argument wins" / --open-last "$collection"
check "the folder argument's folder has the shipped files" test -s "$collection/help.html"
opens "--open-last then opens the folder used last" / --open-last
# the folder used last is gone (a disk not plugged in): said so, not made again empty
mv "$collection" "$work/moved-away"
refused "a last folder that is gone is named" "「$collection」が見つかりません" --open-last
check "and not made again" test ! -e "$collection"

# no option, no folder: the folder it is started in, as ever; nothing else laid there
collection=$work/empty
mkdir "$collection"
opens "without options the current folder is the collection" "$collection"
check "without options no shipped file is laid out" test ! -e "$collection/help.html"
# a folder that cannot be made is refused, named
touch "$work/a-file"
refused "a folder that cannot be made is refused, named" \
    "「$work/a-file/collection」を作れないか、書き込めません" "$work/a-file/collection"
check "nothing is made for it" test ! -e "$work/a-file/collection"

[ "$failures" -eq 0 ] || { echo "$failures checks failed"; exit 1; }
echo "all checks passed"
