#!/usr/bin/env bash
# The layers include only downwards: the store only itself, and of Qt only
# Core and Sql; the shared widgets the store; the entry forms, the search and
# the reports the store, the widgets and themselves; the main window anything
# below it; the program's main the main window; the old-database reader the
# store. Then the probes: built on a layer's own compile line, each naming a
# header above it must fail for want of that header, and the plain one build.
#   bash tst_layers.sh PROJECT-FOLDER BUILD-FOLDER QT-CORE-AND-SQL-INCLUDES PROBE...
set -u
project=$1 build=$2
IFS=: read -ra qtdirs <<<"$3"
shift 3
cd "$project/src" || exit 1
passed=0
failed=0
# counts a check by its status, $what naming a failed one
ok() { if [ "$1" -eq 0 ]; then passed=$((passed + 1)); else echo "FAIL: $what"; failed=$((failed + 1)); fi; }
# the Qt header named is one of Qt Core's or Qt Sql's
in_core_or_sql() {
    local dir
    for dir in "${qtdirs[@]}"; do
        case "$dir" in *QtCore | *QtSql) [ -e "$dir/$1" ] && return 0 ;; esac
    done
    return 1
}
check() {
    local allowed=$1 file target
    shift
    for file in "$@"; do
        [ -e "$file" ] || continue
        local folder=${file%/*}
        [ "$folder" = "$file" ] && folder=.
        while IFS= read -r target; do
            [[ "$target" == */* ]] || target="$folder/$target" # beside the file
            what="$file includes $target, above its layer"
            [[ "${target%%/*}" =~ ^($allowed)$ ]]; ok $?
        done < <(sed -n 's/^#include "\([^"]*\)".*/\1/p' "$file")
    done
}
check 'store' store/*.h store/*.cpp
check 'store|widgets' widgets/*.h widgets/*.cpp
check 'store|widgets|entry' entry/*.h entry/*.cpp
check 'store|widgets|search' search/*.h search/*.cpp
check 'store|widgets|reports' reports/*.h reports/*.cpp
check 'store|widgets|entry|search|reports|mainwindow' mainwindow/*.h mainwindow/*.cpp
check 'mainwindow' main.cpp
check 'store' mdbread/*.cpp
# Qt in the store and its reader: Core and Sql, by whichever spelling
for file in store/*.h store/*.cpp mdbread/*.cpp; do
    while IFS= read -r target; do
        what="$file includes <$target>, not of Qt Core or Qt Sql"
        case "$target" in
        Qt*/*) [[ "${target%%/*}" =~ ^Qt(Core|Sql)$ ]]; ok $? ;;
        Q*) in_core_or_sql "$target"; ok $? ;;
        esac
    done < <(sed -n 's/^#include <\([^>]*\)>.*/\1/p' "$file")
done
[ "$passed" -gt 50 ] || { echo "too few includes found: $passed"; exit 1; }
# the store's probe builds (its own headers and Qt Sql are reachable); every
# other fails for want of a header above its layer
for probe in "$@"; do
    out=$(cmake --build "$build" --target "$probe" 2>&1)
    status=$?
    what="$probe: built with status $status: $out"
    if [ "$probe" = layer_probe_store ]; then [ $status -eq 0 ]; else
        [ $status -ne 0 ] && grep -q 'No such file or directory' <<<"$out"; fi
    ok $?
done
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
