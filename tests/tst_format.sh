#!/usr/bin/env bash
# Every C++ file of the project is laid out as .clang-format says.
#   bash tst_format.sh PROJECT-FOLDER
set -u
cd "$1" || exit 1
mapfile -t files < <(find src tests bench -name '*.cpp' -o -name '*.h' | sort)
[ ${#files[@]} -gt 20 ] || { echo "no sources found under $1"; exit 1; }
unformatted=()
for f in "${files[@]}"; do
    clang-format --dry-run --Werror "$f" >/dev/null 2>&1 || unformatted+=("$f")
done
if [ ${#unformatted[@]} -gt 0 ]; then
    printf 'not formatted (run clang-format -i on it): %s\n' "${unformatted[@]}"
    echo "$(( ${#files[@]} - ${#unformatted[@]} )) passed, ${#unformatted[@]} failed"
    exit 1
fi
echo "${#files[@]} passed, 0 failed"
