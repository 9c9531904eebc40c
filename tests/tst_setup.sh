#!/usr/bin/env bash
# The set-up step of tools/rondella.sh, run for real against stand-ins for
# dpkg-query, apt-get, sudo and id that record how they were called.
#   bash tst_setup.sh path/to/rondella.sh
set -u

script=$1
passed=0
failed=0
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The packages the script asks for, read from the script itself.
mapfile -t all < <(sed -n '/^packages=(/,/)/p' "$script" | tr -d '()' | sed 's/packages=//' |
                   tr ' ' '\n' | grep -v '^$')
[ ${#all[@]} -ge 10 ] || { echo "could not read the package list of $script"; exit 1; }

# A PATH of stand-ins plus only the plain tools the script needs, so that a real
# sudo, apt-get or dpkg-query of this machine can never answer.
make_bin() {
    local case_dir=$1 with_sudo=$2
    mkdir -p "$case_dir/bin"
    local t
    for t in bash awk grep sed dirname cat rm mkdir; do
        ln -s "$(command -v "$t")" "$case_dir/bin/$t"
    done
    cat >"$case_dir/bin/dpkg-query" <<EOF
#!$(command -v bash)
# Known packages are installed unless named in the missing file; like the real
# one, it exits 1 when any package named is not installed.
echo "dpkg-query \$*" >>"$case_dir/calls"
status=0
for a in "\$@"; do
    case "\$a" in -*) continue ;; esac
    if grep -qx -- "\$a" "$case_dir/missing"; then
        echo "dpkg-query: no packages found matching \$a" >&2
        status=1
    else
        echo "\$a install ok installed"
    fi
done
exit \$status
EOF
    cat >"$case_dir/bin/apt-get" <<EOF
#!$(command -v bash)
echo "apt-get \$*" >>"$case_dir/calls"
echo "apt-get \$*" >>"$case_dir/apt"
grep -qx -- "\$1" "$case_dir/apt-fails" 2>/dev/null && { echo "E: Unable to locate package" >&2; exit 100; }
[ "\$(cat "$case_dir/uid")" = 0 ] || { echo "E: Could not open lock file - open (13: Permission denied)" >&2; exit 100; }
if [ "\$1" = install ]; then
    for a in "\$@"; do
        grep -vx -- "\$a" "$case_dir/missing" >"$case_dir/missing.new"
        cat "$case_dir/missing.new" >"$case_dir/missing"
    done
fi
exit 0
EOF
    cat >"$case_dir/bin/id" <<EOF
#!$(command -v bash)
[ "\$1" = -u ] && cat "$case_dir/uid"
EOF
    if [ "$with_sudo" = yes ]; then
        cat >"$case_dir/bin/sudo" <<EOF
#!$(command -v bash)
echo "sudo \$*" >>"$case_dir/calls"
echo 0 >"$case_dir/uid"
"\$@"
status=\$?
echo 1000 >"$case_dir/uid"
exit \$status
EOF
    fi
    chmod +x "$case_dir"/bin/*
}

# run_case NAME UID SUDO(yes/no) MISSING... : sets $out, $rc, $dir
run_case() {
    dir="$work/$1"
    mkdir -p "$dir"
    echo "$2" >"$dir/uid"
    shift 2
    local with_sudo=$1
    shift
    printf '%s\n' "$@" >"$dir/missing"
    : >"$dir/calls"
    : >"$dir/apt"
    make_bin "$dir" "$with_sudo"
}

run_script() {
    out=$(PATH="$dir/bin" bash "$script" setup 2>&1)
    rc=$?
}

check() {
    local what=$1
    shift
    if "$@"; then
        passed=$((passed + 1))
    else
        failed=$((failed + 1))
        echo "FAIL: $what"
        echo "  output: $out"
        echo "  calls:"
        sed 's/^/    /' "$dir/calls"
    fi
}

count_lines() { grep -c -- "$2" "$1" || true; }

# Three packages missing, run as root: exactly those three, in one install, after one update.
run_case three 0 no "${all[2]}" "${all[5]}" "${all[9]}"
run_script
check "three missing: succeeds" [ "$rc" -eq 0 ]
check "three missing: one update" [ "$(count_lines "$dir/apt" '^apt-get update$')" -eq 1 ]
check "three missing: one install" [ "$(count_lines "$dir/apt" '^apt-get install')" -eq 1 ]
check "three missing: exactly those three" \
    grep -qx -- "apt-get install -y --no-install-recommends -o DPkg::Lock::Timeout=600 ${all[2]} ${all[5]} ${all[9]}" "$dir/apt"
check "three missing: names them" grep -q -- "Installing: ${all[2]} ${all[5]} ${all[9]}" <<<"$out"
check "three missing: nothing left missing" [ ! -s "$dir/missing" ]
check "three missing: no step reported failed" [ "$(count_lines <(echo "$out") 'step failed')" -eq 0 ]

# Everything installed: apt-get is never called.
run_case none 0 no
run_script
check "all installed: succeeds" [ "$rc" -eq 0 ]
check "all installed: no apt-get" [ ! -s "$dir/apt" ]
check "all installed: asked dpkg" grep -q '^dpkg-query' "$dir/calls"
check "all installed: says nothing" [ -z "$out" ]

# Nothing installed at all (a fresh machine).
run_case fresh 0 no "${all[@]}"
run_script
check "fresh: succeeds" [ "$rc" -eq 0 ]
check "fresh: installs every package" \
    grep -qx -- "apt-get install -y --no-install-recommends -o DPkg::Lock::Timeout=600 ${all[*]}" "$dir/apt"

# apt-get fails (no network, a package not found): a message and a non-zero status.
run_case updatefails 0 no "${all[1]}"
echo update >"$dir/apt-fails"
run_script
check "update fails: non-zero status" [ "$rc" -ne 0 ]
check "update fails: says so" grep -q 'apt-get update failed' <<<"$out"
check "update fails: says so in Japanese" grep -q 'apt-get update に失敗しました' <<<"$out"
check "update fails: no install tried" [ "$(count_lines "$dir/apt" '^apt-get install')" -eq 0 ]

run_case installfails 0 no "${all[1]}" "${all[4]}"
echo install >"$dir/apt-fails"
run_script
check "install fails: non-zero status" [ "$rc" -ne 0 ]
check "install fails: names the packages" grep -q -- "apt-get install failed for: ${all[1]} ${all[4]}" <<<"$out"
check "install fails: says so in Japanese" grep -q 'インストールできませんでした' <<<"$out"

# A user with sudo: apt-get goes through sudo.
run_case sudo 1000 yes "${all[0]}"
run_script
check "user with sudo: succeeds" [ "$rc" -eq 0 ]
check "user with sudo: installs through sudo" \
    grep -qx -- "sudo apt-get install -y --no-install-recommends -o DPkg::Lock::Timeout=600 ${all[0]}" "$dir/calls"

# A user without sudo: says so, installs nothing.
run_case nosudo 1000 no "${all[3]}"
run_script
check "user without sudo: non-zero status" [ "$rc" -ne 0 ]
check "user without sudo: no apt-get" [ ! -s "$dir/apt" ]
check "user without sudo: says sudo is missing" grep -q 'sudo is not available' <<<"$out"
check "user without sudo: names the package" grep -q -- "${all[3]}" <<<"$out"

# A failing step outside the set-up names itself instead of ending silently.
run_case usage 0 no
out=$(PATH="$dir/bin" bash "$script" bogus 2>&1)
rc=$?
check "unknown command: usage and status 2" [ "$rc" -eq 2 ]
check "unknown command: usage text" grep -q '^usage:' <<<"$out"

run_case errtrap 0 no
cat >"$dir/bin/dpkg-query" <<'EOF'
#!/bin/bash
exit 1
EOF
rm "$dir/bin/awk"
cat >"$dir/bin/awk" <<'EOF'
#!/bin/bash
exit 3
EOF
chmod +x "$dir/bin/awk"
run_script
check "a failing step: non-zero status" [ "$rc" -ne 0 ]
check "a failing step: names the command" grep -q 'step failed (status 3): .*awk' <<<"$out"

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
