#!/usr/bin/env bash
# Runs the README's test command on a freshly made Debian 12 system, to show that
# the set-up brings in everything the build, the tests and the program need.
# Takes many minutes; needs root and the Debian mirror this machine uses.
#   bash tools/fresh-check.sh [work-folder]     (default: a new temporary folder)
set -Eeuo pipefail
shopt -s inherit_errexit
trap 'echo "fresh-check.sh: step failed (status $?): $BASH_COMMAND" >&2' ERR

top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
shared="$top/../shared"
work=${1:-$(mktemp -d /var/tmp/rondella-fresh.XXXXXX)}
root="$work/root"
mkdir -p "$work"

[ "$(id -u)" -eq 0 ] || { echo "fresh-check.sh must run as root (debootstrap, chroot)." >&2; exit 1; }
[ -d "$shared" ] || { echo "The shared folder is missing beside the project: $shared" >&2; exit 1; }
command -v debootstrap >/dev/null || apt-get install -y --no-install-recommends debootstrap
mirror=$(grep -hoE '^URIs: *http[^ ]*/debian$' /etc/apt/sources.list.d/*.sources 2>/dev/null |
         head -n1 | sed 's/^URIs: *//')
mirror=${mirror:-http://deb.debian.org/debian}

mounted=()
cleanup() {
    local m
    for ((i = ${#mounted[@]} - 1; i >= 0; i--)); do umount -R -l "${mounted[i]}" || true; done
}
trap cleanup EXIT

phase_start=$(date +%s)
phase() {
    local now
    now=$(date +%s)
    printf '%-9s %4d s\n' "$1" $((now - phase_start)) | tee -a "$work/phases.txt"
    phase_start=$now
}

: >"$work/phases.txt"
# A fresh minimal Debian 12 system in $1, able to run programs and reach the mirror.
make_root() {
    local dir=$1 m
    debootstrap --variant=minbase bookworm "$dir" "$mirror" >"$dir.debootstrap.log" 2>&1 ||
        { tail -n 20 "$dir.debootstrap.log" >&2; exit 1; }
    cp /etc/resolv.conf "$dir/etc/resolv.conf"
    mount -t proc proc "$dir/proc"
    mounted+=("$dir/proc")
    for m in sys dev; do
        mount --rbind "/$m" "$dir/$m"
        mounted+=("$dir/$m")
    done
}

echo "== fresh Debian 12 root in $root (mirror $mirror)"
make_root "$root"
phase root

# The project as a clean clone of what is committed, the shared folder beside it.
mkdir -p "$root/home/tester"
git clone --quiet "$top" "$root/home/tester/rondella"
cp -a "$shared" "$root/home/tester/shared"
# The clone needs git to exist only on this side: nothing in the chroot calls it.
chroot "$root" /usr/bin/env -i HOME=/root PATH=/usr/sbin:/usr/bin:/sbin:/bin LANG=C.UTF-8 \
    bash /home/tester/rondella/tools/rondella.sh setup
phase packages

chroot "$root" /usr/bin/env -i HOME=/root PATH=/usr/sbin:/usr/bin:/sbin:/bin LANG=C.UTF-8 \
    bash -c 'cd /home/tester/rondella && cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null &&
             cmake --build build -j"$(nproc)" >/dev/null'
phase build

# The README's test command itself, on the tree just built.
chroot "$root" /usr/bin/env -i HOME=/root PATH=/usr/sbin:/usr/bin:/sbin:/bin LANG=C.UTF-8 \
    bash /home/tester/rondella/tools/rondella.sh test
phase tests

# The program itself on the fresh root, on a virtual display: every library and
# plugin it loads at run time (the window system, the SQLite driver, the sound
# back end, fonts) must have come with the set-up. Xvfb is the check's own tool.
chroot "$root" /usr/bin/env -i HOME=/root PATH=/usr/sbin:/usr/bin:/sbin:/bin LANG=C.UTF-8 \
    bash -c 'apt-get install -y --no-install-recommends xvfb xauth >/dev/null'
chroot "$root" /usr/bin/env -i HOME=/root PATH=/usr/sbin:/usr/bin:/sbin:/bin LANG=C.UTF-8 \
    bash -c 'set -e
        missing=$(ldd /home/tester/rondella/build/src/rondella | grep "not found" || true)
        [ -z "$missing" ] || { echo "libraries not found: $missing" >&2; exit 1; }
        rm -rf /tmp/collection
        status=0
        QT_DEBUG_PLUGINS=0 timeout 10 xvfb-run -a bash /home/tester/rondella/tools/rondella.sh run /tmp/collection \
            >/tmp/program.log 2>&1 || status=$?
        cat /tmp/program.log
        [ "$status" -eq 124 ] || { echo "the program ended by itself (status $status)" >&2; exit 1; }
        [ -s /tmp/collection/cdkaisou.db ] || { echo "no collection was made" >&2; exit 1; }
        if grep -Ei "could not (load|find)|no .*backend|cannot load|not found" /tmp/program.log; then
            echo "the program could not load a part it needs" >&2; exit 1
        fi
        echo "the program ran 10 s on a fresh collection"'
phase program

# The Debian package, made on the built tree and installed with apt on a second
# fresh root that has nothing of the set-up: its dependencies alone must bring
# in everything the installed program loads. Started as its menu entry starts
# it, with HOME an empty folder.
chroot "$root" /usr/bin/env -i HOME=/root PATH=/usr/sbin:/usr/bin:/sbin:/bin LANG=C.UTF-8 \
    bash -c 'cd /home/tester/rondella/build && rm -f rondella_*.deb && cpack -G DEB >/dev/null'
bare="$work/bare"
make_root "$bare"
cp "$root"/home/tester/rondella/build/rondella_*.deb "$bare/tmp/"
chroot "$bare" /usr/bin/env -i HOME=/root PATH=/usr/sbin:/usr/bin:/sbin:/bin LANG=C.UTF-8 \
    bash -c 'set -e
        apt-get update >/dev/null
        apt-get install -y /tmp/rondella_*.deb >/tmp/apt.log 2>&1 || { tail -n 30 /tmp/apt.log; exit 1; }
        apt-get install -y --no-install-recommends xvfb xauth >/dev/null
        missing=$(ldd /usr/bin/rondella | grep "not found" || true)
        [ -z "$missing" ] || { echo "libraries not found: $missing" >&2; exit 1; }
        mkdir -p /tmp/home
        status=0
        (cd / && HOME=/tmp/home timeout 10 xvfb-run -a rondella --open-last >/tmp/program.log 2>&1) || status=$?
        cat /tmp/program.log
        [ "$status" -eq 124 ] || { echo "the installed program ended by itself (status $status)" >&2; exit 1; }
        [ -s /tmp/home/Rondella/cdkaisou.db ] || { echo "no collection was made in ~/Rondella" >&2; exit 1; }
        [ -s /tmp/home/Rondella/help.html ] || { echo "the help page was not laid out" >&2; exit 1; }
        if grep -Ei "could not (load|find)|no .*backend|cannot load|not found" /tmp/program.log; then
            echo "the installed program could not load a part it needs" >&2; exit 1
        fi
        echo "the installed package ran 10 s from its menu command"'
phase package

echo "== phases (seconds):"
cat "$work/phases.txt"
