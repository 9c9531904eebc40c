#!/usr/bin/env bash
# Plants the faults of tests/faults/faults.txt one at a time, rebuilds, runs
# the test suite and counts the faults it catches. Every file is put back as
# it was after each fault, also when the run is interrupted.
#
#   bash tests/faults/run.sh [--quick] [--check] [--no-baseline] [BUILD-DIR] [FAULT-ID...]
#
#   BUILD-DIR      a configured build directory (default: build)
#   FAULT-ID       only these faults (default: all of them)
#   --quick        build and run only the suites of each fault's area (its tests: line)
#   --check        only say which faults no longer apply (their text is not found once)
#   --no-baseline  skip the first run on the untouched tree
#
# FAULT_TIMEOUT (seconds, default 1200) bounds each test run, and
# QTEST_FUNCTION_TIMEOUT (ms, default 120000) each test function, so that a
# fault that makes a test hang is caught without waiting for ctest's own
# time-out. Results go to
# BUILD-DIR/faults/results.tsv (with the test functions each fault made fail),
# each fault's output to BUILD-DIR/faults/<id>.log. The run ends naming the test
# functions that no fault made fail.
set -u

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
cd "$root" || exit 2
table=tests/faults/faults.txt
quick=0
check=0
baseline=1
build=
ids=()
for arg in "$@"; do
    case $arg in
    --quick) quick=1 ;;
    --check) check=1 ;;
    --no-baseline) baseline=0 ;;
    -h | --help)
        sed -n '2,19p' "$0" | sed 's/^# \{0,1\}//'
        exit 0
        ;;
    -*)
        echo "unknown option: $arg" >&2
        exit 2
        ;;
    *)
        if [ -z "$build" ] && [ -d "$arg" ]; then build=$arg; else ids+=("$arg"); fi
        ;;
    esac
done
build=${build:-build}
timeout_s=${FAULT_TIMEOUT:-1200}
export QTEST_FUNCTION_TIMEOUT=${QTEST_FUNCTION_TIMEOUT:-120000}

# The table's reader: `list` prints "id<TAB>file<TAB>tests<TAB>what" for each
# fault; `count ID` prints how often its text occurs in its file; `apply ID`
# replaces it.
fault() {
    python3 - "$table" "$@" <<'EOF'
import re
import sys

def unescape(text):
    return re.sub(r"\\(.)", lambda m: {"n": "\n", "t": "\t"}.get(m.group(1), m.group(1)), text)

def blocks(path):
    faults = []
    for number, line in enumerate(open(path, encoding="utf-8").read().split("\n"), 1):
        if not line.strip() or line.startswith("#"):
            continue
        fields = line.split("\t")
        if len(fields) != 6:
            sys.exit("%s:%d: %d fields, not 6" % (path, number, len(fields)))
        keys = ("id", "file", "tests", "what", "from", "to")
        f = dict(zip(keys, fields))
        f["from"], f["to"] = unescape(f["from"]), unescape(f["to"])
        faults.append(f)
    return faults

table, command = sys.argv[1], sys.argv[2]
faults = blocks(table)
if command == "list":
    for f in faults:
        print("\t".join([f["id"], f.get("file", ""), f.get("tests", ""), f.get("what", "")]))
    sys.exit(0)
found = [f for f in faults if f["id"] == sys.argv[3]]
if not found:
    sys.exit("no fault " + sys.argv[3])
f = found[0]
try:
    text = open(f["file"], encoding="utf-8").read()
except OSError:
    print(0)
    sys.exit(0)
if command == "count":
    print(text.count(f["from"]) if f["from"] else 0)
elif command == "apply":
    with open(f["file"], "w", encoding="utf-8") as out:
        out.write(text.replace(f["from"], f["to"], 1))
EOF
}

mapfile -t rows < <(fault list) || exit 2
[ ${#rows[@]} -gt 0 ] || { echo "no faults in $table" >&2; exit 2; }
selected=()
for row in "${rows[@]}"; do
    id=${row%%$'\t'*}
    if [ ${#ids[@]} -eq 0 ] || printf '%s\n' "${ids[@]}" | grep -qxF "$id"; then
        selected+=("$row")
    fi
done
for id in "${ids[@]}"; do
    printf '%s\n' "${rows[@]}" | cut -f1 | grep -qxF "$id" || echo "no fault named $id" >&2
done

if [ $check = 1 ]; then
    stale=0
    for row in "${selected[@]}"; do
        IFS=$'\t' read -r id file tests what <<<"$row"
        n=$(fault count "$id")
        if [ "$n" != 1 ]; then
            echo "stale  $id ($file: text found $n times)"
            stale=$((stale + 1))
        fi
    done
    echo "${#selected[@]} faults, $stale stale"
    [ $stale = 0 ]
    exit
fi

[ -f "$build/CMakeCache.txt" ] || { echo "$build is no configured build directory" >&2; exit 2; }
out=$build/faults
mkdir -p "$out"
results=$out/results.tsv
saved=$(mktemp)
planted= # the file holding a fault now

putBack() {
    [ -n "$planted" ] || return 0
    cp "$saved" "$planted"
    if ! cmp -s "$saved" "$planted"; then
        echo "could not put $planted back: its text is in $saved" >&2
        exit 3
    fi
    planted=
}
trap 'putBack; rm -f "$saved"' EXIT
trap 'echo; echo "interrupted: the tree is as it was"; exit 130' INT TERM

# The targets of the suites a regex names, where a target of that name exists.
targets() {
    local regex=$1 t
    for t in $(cd "$build" && ctest -N -R "$regex" -E '^tst_package$' | sed -n 's/^ *Test *#[0-9]*: //p'); do
        [ -f "tests/$t.cpp" ] && echo "$t"
    done
    case $regex in *tst_audioimport*) echo rondella ;; esac
    case $regex in *tst_install*) echo rondella ;; esac
}

buildFor() { # regex or empty
    local t
    if [ -n "$1" ]; then
        mapfile -t t < <(targets "$1" | sort -u)
        [ ${#t[@]} -gt 0 ] || t=(all)
        cmake --build "$build" -j2 --target "${t[@]}"
    else
        cmake --build "$build" -j2
    fi
}

runSuite() { # regex or empty; prints the failed tests' names
    local args=(-E '^tst_package$' --output-on-failure)
    [ -n "$1" ] && args+=(-R "$1")
    (cd "$build" && timeout -k 20 "$timeout_s" ctest "${args[@]}")
}

failedOf() { # a log: the tests it names as failed, or "time-out"
    local names
    names=$(sed -n '/The following tests FAILED/,$p' "$1" | sed -n 's/^[[:space:]]*[0-9]* - \([^ ]*\).*/\1/p' | paste -sd, -)
    echo "${names:-time-out}"
}

if [ $quick = 1 ]; then
    union=$(printf '%s\n' "${selected[@]}" | cut -f3 | tr '|' '\n' | sort -u | paste -sd'|' -)
else
    union=
fi
if [ $baseline = 1 ]; then
    echo "baseline: building and running the suite on the untouched tree..."
    if ! buildFor "$union" >"$out/baseline.log" 2>&1 || ! runSuite "$union" >>"$out/baseline.log" 2>&1; then
        echo "the untouched tree does not build or pass ($(failedOf "$out/baseline.log")); see $out/baseline.log" >&2
        exit 2
    fi
fi

printf 'id\tresult\tfailed tests\tseconds\tfile\twhat\tfailed functions\n' >"$results"
caught=0 survived=0 unbuilt=0 stale=0
started=$(date +%s)
for row in "${selected[@]}"; do
    IFS=$'\t' read -r id file tests what <<<"$row"
    log=$out/$id.log
    t0=$(date +%s)
    n=$(fault count "$id")
    if [ "$n" != 1 ]; then
        result=stale failed="text found $n times"
        stale=$((stale + 1))
    else
        wasClean=0
        git diff --quiet -- "$file" && wasClean=1
        cp "$file" "$saved"
        planted=$file
        fault apply "$id"
        regex=
        [ $quick = 1 ] && regex=$tests
        if ! buildFor "$regex" >"$log" 2>&1; then
            result=unbuilt failed=-
            unbuilt=$((unbuilt + 1))
        elif runSuite "$regex" >>"$log" 2>&1; then
            result=survived failed=-
            survived=$((survived + 1))
        else
            result=caught failed=$(failedOf "$log")
            caught=$((caught + 1))
        fi
        putBack
        if [ $wasClean = 1 ] && ! git diff --quiet -- "$file"; then
            echo "$file differs from the commit after putting it back" >&2
            exit 3
        fi
    fi
    secs=$(($(date +%s) - t0))
    functions=$( [ -f "$log" ] && grep -o 'FAIL!  : [A-Za-z0-9_]*::[A-Za-z0-9_]*' "$log" | sed 's/FAIL!  : //' | sort -u | paste -sd' ')
    printf '%s\t%s\t%s\t%s\t%s\t%s\t%s\n' "$id" "$result" "$failed" "$secs" "$file" "$what" "$functions" >>"$results"
    printf '%-40s %-9s %5ss  %s\n' "$id" "$result" "$secs" "$failed"
done

# the build directory as the untouched tree makes it
buildFor "$union" >"$out/final.log" 2>&1 || echo "the final rebuild failed; see $out/final.log" >&2

counted=$((caught + survived))
echo
echo "faults: ${#selected[@]}  caught: $caught  survived: $survived  did not build: $unbuilt  stale: $stale"
if [ $counted -gt 0 ]; then
    echo "caught: $((100 * caught / counted))% of the $counted that built ($([ $quick = 1 ] && echo "area suites only" || echo "whole suite")), in $(($(date +%s) - started)) s"
fi
if [ $survived -gt 0 ]; then
    echo "survivors:"
    awk -F'\t' '$2 == "survived" { printf "  %s (%s): %s\n", $1, $5, $6 }' "$results"
fi
# The test functions of the suites run that no fault made fail: each either
# guards something no fault here plants yet, or restates the code.
idle=$(for t in $(targets "${union:-.}" | sort -u); do
    [ -x "$build/tests/$t" ] && QT_QPA_PLATFORM=offscreen "$build/tests/$t" -functions 2>/dev/null | sed -n "s/^\([A-Za-z0-9_]*\)()\$/\1/p" |
        while read -r f; do
            # a suite's class, whichever fixture it derives from
            klass=$(grep -oE '^class [A-Za-z0-9_]+ : public [A-Za-z0-9_:]+' "tests/$t.cpp" | awk '{print $2}' | head -1)
            awk -F'\t' -v fn="$klass::$f" 'NR > 1 && (" " $7 " ") ~ (" " fn " ") { found = 1 } END { exit !found }' "$results" ||
                echo "  $t: $f"
        done
done)
[ -n "$idle" ] && { echo "test functions no fault made fail:"; echo "$idle"; }
if [ $unbuilt -gt 0 ]; then
    echo "did not build:"
    awk -F'\t' '$2 == "unbuilt" { printf "  %s (%s)\n", $1, $5 }' "$results"
fi
