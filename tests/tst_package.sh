#!/usr/bin/env bash
# The Debian package CPack makes:  tst_package.sh BUILD_DIR
# Builds it, checks its control data and contents, and that lintian reports
# no error.
set -uo pipefail
build=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
check() {
    local what=$1
    shift
    if "$@"; then echo "ok: $what"; else echo "FAIL: $what"; failures=$((failures + 1)); return 1; fi
}

(cd "$build" && cpack -G DEB -B "$work" >"$work/cpack.log" 2>&1) ||
    { cat "$work/cpack.log"; echo "FAIL: cpack -G DEB"; exit 1; }
deb=$(ls "$work"/rondella_*.deb 2>/dev/null | head -n1)
[ -s "$deb" ] || { echo "FAIL: no package rondella_*.deb is made"; exit 1; }

field() { dpkg-deb -f "$deb" "$1"; }
check "Package: rondella" test "$(field Package)" = rondella
check "Version: the project's, release 1" grep -qE '^[0-9]+\.[0-9]+-1$' <<<"$(field Version)"
check "Architecture: this machine's" test "$(field Architecture)" = "$(dpkg --print-architecture)"
check "a maintainer with an address" grep -qE '^.+ <[^@ ]+@[^@ ]+>$' <<<"$(field Maintainer)"
check "Section, Priority and a description" test -n "$(field Section)" -a -n "$(field Priority)" -a -n "$(field Description)"
# those loaded at run time, then those dpkg-shlibdeps finds in the programs
for p in libqt6sql6-sqlite libqt6multimedia6 libqt6printsupport6 fonts-ipafont-gothic fonts-noto-cjk \
         qt6-translations-l10n libqt6core6 libqt6widgets6 libqt6sql6 libtag1v5 libmdb3 libcsv3 libsqlite3-0; do
    check "depends on $p" grep -qE "(^|, )$p( |,|$)" <<<"$(field Depends)"
done

contents=$(dpkg-deb -c "$deb" | awk '{print $6}')
id=org.rondella.Rondella icons=./usr/share/icons/hicolor
for f in ./usr/bin/rondella ./usr/libexec/rondella/rondella-mdbread ./usr/share/man/man1/rondella.1.gz \
         ./usr/share/rondella/{help.html,dialog.WAV,drop.WAV,jacket/damie.jpg} ./usr/share/applications/$id.desktop \
         ./usr/share/metainfo/$id.metainfo.xml $icons/{scalable/apps/$id.svg,48x48/apps/$id.png,256x256/apps/$id.png} \
         ./usr/share/doc/rondella/{copyright,changelog.Debian.gz}; do
    check "holds $f" grep -qx "$f" <<<"$contents"
done
check "holds nothing of the tests or the benchmark" test -z "$(grep -E 'tst_|bench|storeprobe|startonce' <<<"$contents")"
check "every file owned by root" test "$(dpkg-deb -c "$deb" | awk '{print $2}' | sort -u)" = "root/root"
dpkg-deb -x "$deb" "$work/x"
check "the program is stripped" sh -c "file -b '$work/x/usr/bin/rondella' | grep -q ', stripped'"

# lintian takes a few seconds here: it is part of every run
check "lintian is installed" command -v lintian
lint=$(lintian --tag-display-limit 0 "$deb" 2>&1)
check "lintian reports no error" test "$?" -eq 0 -a -z "$(grep '^E:' <<<"$lint")" || echo "$lint"

[ "$failures" -eq 0 ] || { echo "$failures checks failed"; exit 1; }
echo "all checks passed"
