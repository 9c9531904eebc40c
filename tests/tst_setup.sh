#!/usr/bin/env bash
# The set-up step of tools/rondella.sh, run for real against stand-ins for
# dpkg-query, apt-get, sudo and id that record how they were called.
#   bash tst_setup.sh path/to/rondella.sh
set -u
script=$1
failed=0
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The packages the script asks for, read from the script itself.
mapfile -t all < <(sed -n '/^packages=(/,/)/p' "$script" | tr -d '()' | sed 's/packages=//' |
                   tr ' ' '\n' | grep -v '^$')
[ ${#all[@]} -ge 10 ] || { echo "could not read the package list of $script"; exit 1; }

# A PATH of stand-ins plus only the plain tools the script needs, so that a real
# sudo, apt-get or dpkg-query of this machine can never answer. The stand-ins
# keep their state in the folder $CASE: the user's uid, the packages missing,
# the apt-get command that fails, and the calls made.
mkdir "$work/bin" "$work/sudoer" "$work/broken"
for t in bash awk grep sed dirname cat rm mkdir; do ln -s "$(command -v "$t")" "$work/bin/$t"; done
cat >"$work/bin/dpkg-query" <<'EOF'
#!/bin/bash
# like the real one, it exits 1 when any package named is not installed
status=0
for a in "$@"; do
    [[ $a == -* ]] || { grep -qx -- "$a" "$CASE/missing" && status=1 || echo "$a install ok installed"; }
done
exit $status
EOF
cat >"$work/bin/apt-get" <<'EOF'
#!/bin/bash
echo "apt-get $*" >>"$CASE/calls"
[ "$1" != "$(cat "$CASE/fails")" ] && [ "$(id -u)" = 0 ] || exit 100
[ "$1" != install ] || for a in "$@"; do grep -vx -- "$a" "$CASE/missing" >"$CASE/m"; cat "$CASE/m" >"$CASE/missing"; done
EOF
printf '#!/bin/bash\n[ -n "${ROOT:-}" ] && echo 0 || cat "$CASE/uid"\n' >"$work/bin/id"
cat >"$work/sudoer/sudo" <<'EOF'
#!/bin/bash
echo "sudo $*" >>"$CASE/calls"
ROOT=1 exec "$@"
EOF
printf '#!/bin/bash\nexit 3\n' >"$work/broken/awk"
chmod +x "$work/bin/dpkg-query" "$work/bin/apt-get" "$work/bin/id" "$work/sudoer/sudo" "$work/broken/awk"

# [pre=DIR] [cmd=COMMAND] run NAME UID FAILING-APT-COMMAND MISSING...: runs the
# script (with DIR first in its PATH) and sets $out and $rc
run() {
    export CASE=$work/$1
    mkdir "$CASE"
    echo "$2" >"$CASE/uid"
    echo "$3" >"$CASE/fails"
    shift 3
    printf '%s\n' "$@" >"$CASE/missing"
    : >"$CASE/calls"
    out=$(PATH=${pre:+$pre:}$work/bin bash "$script" "${cmd:-setup}" 2>&1)
    rc=$?
}
has() { grep -q -- "$1" <<<"$out"; }
check() {
    eval "$2" && return
    failed=$((failed + 1))
    printf 'FAIL: %s\n  output: %s\n  calls:\n' "$1" "$out"
    sed 's/^/    /' "$CASE/calls"
}
install="apt-get install -y --no-install-recommends -o DPkg::Lock::Timeout=600"

run three 0 - "${all[2]}" "${all[5]}" "${all[9]}"
check "three missing: one update, then one install of exactly those, named" '[ $rc -eq 0 ] && [ ! -s "$CASE/missing" ] && ! has "step failed" &&
    [ "$(cat "$CASE/calls")" = "apt-get update"$'"'\n'"'"$install ${all[2]} ${all[5]} ${all[9]}" ] && has "Installing: ${all[2]} ${all[5]} ${all[9]}"'
run none 0 -
check "all installed: no apt-get, nothing said" '[ $rc -eq 0 ] && [ ! -s "$CASE/calls" ] && [ -z "$out" ]'
run fresh 0 - "${all[@]}"
check "fresh: installs every package" '[ $rc -eq 0 ] && grep -qx -- "$install ${all[*]}" "$CASE/calls"'
# apt-get fails (no network, a package not found): a message and a non-zero status
run updatefails 0 update "${all[1]}"
check "update fails: said so, in Japanese too, no install tried" \
    '[ $rc -ne 0 ] && has "apt-get update failed" && has "apt-get update に失敗しました" && ! grep -q install "$CASE/calls"'
run installfails 0 install "${all[1]}" "${all[4]}"
check "install fails: names the packages, in Japanese too" \
    '[ $rc -ne 0 ] && has "apt-get install failed for: ${all[1]} ${all[4]}" && has インストールできませんでした'
pre=$work/sudoer run sudo 1000 - "${all[0]}"
check "user with sudo: installs through sudo" '[ $rc -eq 0 ] && grep -qx -- "sudo $install ${all[0]}" "$CASE/calls"'
run nosudo 1000 - "${all[3]}"
check "user without sudo: says sudo is missing, names the package, no apt-get" \
    '[ $rc -ne 0 ] && [ ! -s "$CASE/calls" ] && has "sudo is not available" && has "${all[3]}"'
# a failing step outside the set-up names itself instead of ending silently
cmd=bogus run usage 0 -
check "unknown command: usage and status 2" '[ $rc -eq 2 ] && has "^usage:"'
pre=$work/broken run errtrap 0 -
check "a failing step: non-zero status, names the command" '[ $rc -ne 0 ] && has "step failed (status 3): .*awk"'

echo "$failed failed"
[ "$failed" -eq 0 ]
