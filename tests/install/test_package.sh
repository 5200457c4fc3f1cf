#!/bin/sh
# test_package.sh BUILD_DIR
#
# The Debian package "cpack -G DEB" makes from BUILD_DIR: what it installs, where,
# its dependencies, and what lintian says of it.
set -u
build=$1
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

for tool in dpkg-deb dpkg-shlibdeps; do
  if ! command -v $tool > /dev/null; then
    echo "SKIPPED: no Debian package without $tool"
    exit 0
  fi
done
if ! cpack --config "$build/CPackConfig.cmake" -G DEB -B "$scratch" > "$scratch/cpack.log" 2>&1; then
  cat "$scratch/cpack.log"
  exit 1
fi
deb=$(ls "$scratch"/velmor_*.deb)

# Every file under /usr, the manual pages compressed, the link kept a link.
contents=$(dpkg-deb -c "$deb" | awk '{ print $6, $7, $8 }')
for f in ./usr/bin/velmor "./usr/bin/velmor-db -> ../lib/velmor/velmor-db" \
  ./usr/lib/velmor/velmor ./usr/lib/velmor/velmor-db ./usr/lib/velmor/velmor-tareas \
  ./usr/share/man/man1/velmor.1.gz ./usr/share/man/man1/velmor-db.1.gz \
  ./usr/share/man/es/man1/velmor.1.gz ./usr/share/man/es/man1/velmor-db.1.gz \
  ./usr/share/doc/velmor/copyright ./usr/share/doc/velmor/changelog.gz \
  ./usr/share/applications/com.tolvane.velmor.desktop \
  ./usr/share/metainfo/com.tolvane.velmor.metainfo.xml; do
  echo "$contents" | grep -qxF "$f  " || echo "$contents" | grep -qxF "$f" || fail "$f not in the package"
done
outside=$(echo "$contents" | grep -v '^\./usr/' | grep -v '^\./ ')
[ -z "$outside" ] || fail "outside /usr: $outside"

# The libraries' packages, found from the programs, and the run-time packages the
# programs load without linking to them.
depends=$(dpkg-deb -f "$deb" Depends)
for package in libqt6widgets6 libsqlite3-0 libicu libmdb qt6-qpa-plugins qt6-translations-l10n; do
  case $depends in *"$package"*) ;; *) fail "Depends lacks $package: $depends" ;; esac
done

dpkg-deb -x "$deb" "$scratch/root"
grep -qx 'Exec="/usr/bin/velmor"' "$scratch/root/usr/share/applications/com.tolvane.velmor.desktop" \
  || fail "the menu entry does not start /usr/bin/velmor"

if command -v lintian > /dev/null; then
  # Errors fail; warnings and lesser notes are shown.
  verdict=$(lintian "$deb" 2>&1 | grep -v '^running with root privileges')
  [ -z "$verdict" ] || echo "$verdict"
  echo "$verdict" | grep -q '^E:' && fail "lintian reports errors"
else
  echo "not checked: lintian is not installed"
fi

[ $failures -eq 0 ] && echo "package $(basename "$deb") passed"
[ $failures -eq 0 ]
