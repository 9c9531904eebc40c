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
    if "$@"; then echo "ok: $what"; else echo "FAIL: $what"; failures=$((failures + 1)); fi
}

(cd "$build" && cpack -G DEB -B "$work" >"$work/cpack.log" 2>&1) ||
    { cat "$work/cpack.log"; echo "FAIL: cpack -G DEB"; exit 1; }
deb=$(ls "$work"/rondella_*.deb 2>/dev/null | head -n1)
check "a package rondella_*.deb is made" test -s "$deb"
[ -s "$deb" ] || exit 1

control=$(dpkg-deb -f "$deb")
field() { dpkg-deb -f "$deb" "$1"; }
check "Package: rondella" test "$(field Package)" = rondella
check "Version: the project's, release 1" grep -qE '^[0-9]+\.[0-9]+-1$' <<<"$(field Version)"
check "Architecture: this machine's" test "$(field Architecture)" = "$(dpkg --print-architecture)"
check "a maintainer with an address" grep -qE '^.+ <[^@ ]+@[^@ ]+>$' <<<"$(field Maintainer)"
check "Section and Priority" test -n "$(field Section)" -a -n "$(field Priority)"
check "a description" test -n "$(field Description)"
depends=$(field Depends)
for p in libqt6sql6-sqlite libqt6multimedia6 libqt6printsupport6 fonts-ipafont-gothic fonts-noto-cjk \
         qt6-translations-l10n; do
    check "depends on $p (loaded at run time)" grep -qE "(^|, )$p( |,|$)" <<<"$depends"
done
# what dpkg-shlibdeps found in the programs
for p in libqt6core6 libqt6widgets6 libqt6sql6 libtag1v5 libmdb3 libcsv3 libsqlite3-0; do
    check "depends on $p (linked)" grep -qE "(^|, )$p( |,|$)" <<<"$depends"
done

contents=$(dpkg-deb -c "$deb" | awk '{print $6}')
for f in ./usr/bin/rondella ./usr/libexec/rondella/rondella-mdbread ./usr/share/man/man1/rondella.1.gz ./usr/share/rondella/help.html \
         ./usr/share/rondella/dialog.WAV ./usr/share/rondella/drop.WAV \
         ./usr/share/rondella/jacket/damie.jpg \
         ./usr/share/applications/org.rondella.Rondella.desktop \
         ./usr/share/metainfo/org.rondella.Rondella.metainfo.xml \
         ./usr/share/icons/hicolor/scalable/apps/org.rondella.Rondella.svg \
         ./usr/share/icons/hicolor/48x48/apps/org.rondella.Rondella.png \
         ./usr/share/icons/hicolor/256x256/apps/org.rondella.Rondella.png \
         ./usr/share/doc/rondella/copyright ./usr/share/doc/rondella/changelog.Debian.gz; do
    check "holds $f" grep -qx "$f" <<<"$contents"
done
check "holds nothing of the tests or the benchmark" test -z "$(grep -E 'tst_|bench|storeprobe|startonce' <<<"$contents")"
owners=$(dpkg-deb -c "$deb" | awk '{print $2}' | sort -u)
check "every file owned by root" test "$owners" = "root/root"
mkdir "$work/x"
dpkg-deb -x "$deb" "$work/x"
check "the program is stripped" sh -c "file -b '$work/x/usr/bin/rondella' | grep -q ', stripped'"

# lintian takes a few seconds here: it is part of every run
check "lintian is installed" sh -c "command -v lintian >/dev/null"
lintian --tag-display-limit 0 "$deb" >"$work/lintian.log" 2>&1
status=$?
cat "$work/lintian.log"
check "lintian reports no error" test "$status" -eq 0 -a -z "$(grep '^E:' "$work/lintian.log")"

if [ "$failures" -gt 0 ]; then
    echo "$failures checks failed"
    exit 1
fi
echo "all checks passed"
