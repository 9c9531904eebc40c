#!/usr/bin/env bash
# The layers include only downwards: the store only itself; the shared widgets
# the store; the entry forms, the search and the reports the store, the widgets
# and themselves; the main window anything below it.
#   bash tst_layers.sh PROJECT-FOLDER
set -u
cd "$1/src" || exit 1
passed=0
failed=0
check() {
    local folder=$1 allowed=$2 file line target
    for file in "$folder"/*.h "$folder"/*.cpp; do
        [ -e "$file" ] || continue
        while IFS= read -r line; do
            target=${line#*\"}
            target=${target%%\"*}
            case "$target" in
            */*) ;;
            *) target="$folder/$target" ;; # beside the file
            esac
            if [[ ! "${target%%/*}" =~ ^($allowed)$ ]]; then
                echo "$file includes $target, above its layer"
                failed=$((failed + 1))
            else
                passed=$((passed + 1))
            fi
        done < <(grep -h '^#include "' "$file")
    done
}
check store 'store'
check widgets 'store|widgets'
check entry 'store|widgets|entry'
check search 'store|widgets|search'
check reports 'store|widgets|reports'
check mainwindow 'store|widgets|entry|search|reports|mainwindow'
[ "$passed" -gt 50 ] || { echo "too few includes found: $passed"; exit 1; }
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
