#!/bin/sh
# test_install.sh SOURCE_DIR BUILD_DIR
#
# The launcher and the catalogue move, run on stand-in programs in scratch homes,
# and the installed tree of BUILD_DIR under an empty prefix.
set -u
src=$1
build=$2
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
failures=0

fail() {
  echo "FAIL: $case_name: $*"
  failures=$((failures + 1))
}
expect_file() { # expect_file PATH CONTENT
  if [ ! -f "$1" ]; then
    fail "$1 missing"
  elif [ "$(cat "$1")" != "$2" ]; then
    fail "$1 holds '$(cat "$1")', expected '$2'"
  fi
}
expect_absent() { [ ! -e "$1" ] || fail "$1 should not exist"; }
expect_text() { # expect_text OUTPUT PART
  case $1 in *"$2"*) ;; *) fail "output '$1' lacks '$2'" ;; esac
}

# A prefix as installed, with stand-ins: velmor tells where it was started from,
# velmor-db crear makes a file and, like the real one, refuses an existing one.
prefix=$scratch/prefix
mkdir -p "$prefix/bin" "$prefix/lib/velmor"
cp "$src/src/resources/velmor.sh" "$prefix/bin/velmor"
cat > "$prefix/lib/velmor/velmor" <<'STUB'
#!/bin/sh
echo "v1 $0 $*"
STUB
cat > "$prefix/lib/velmor/velmor-db" <<'STUB'
#!/bin/sh
[ "$1" = crear ] && [ ! -e "$2" ] && echo vacío > "$2"
STUB
chmod +x "$prefix/bin/velmor" "$prefix/lib/velmor/velmor" "$prefix/lib/velmor/velmor-db"

# Each case: name, what is in the home before, how the launcher is started,
# then the checks.
launch() { # launch HOME [XDG_DATA_HOME] -- runs bin/velmor, output in $out, status in $status
  out=$(HOME=$1 XDG_DATA_HOME=${2:-} "${launcher:-$prefix/bin/velmor}" -platform x 2>&1)
  status=$?
}

case_name="first start in a new home"
h=$scratch/h1
mkdir -p "$h"
launch "$h"
[ $status -eq 0 ] || fail "status $status: $out"
expect_text "$out" "v1 $h/.local/share/velmor/velmor -platform x"
expect_file "$h/.local/share/velmor/velmor.mdb" "vacío"
cmp -s "$prefix/lib/velmor/velmor-db" "$h/.local/share/velmor/velmor-db" || fail "velmor-db not copied"

case_name="an existing catalogue is kept"
echo "mis discos" > "$h/.local/share/velmor/velmor.mdb"
launch "$h"
[ $status -eq 0 ] || fail "status $status: $out"
expect_file "$h/.local/share/velmor/velmor.mdb" "mis discos"

case_name="a changed installed program replaces the user's copy"
sed -i 's/v1/v2/' "$prefix/lib/velmor/velmor"
launch "$h"
expect_text "$out" "v2 $h/.local/share/velmor/velmor"
expect_file "$h/.local/share/velmor/velmor.mdb" "mis discos"
expect_absent "$h/.local/share/velmor/velmor.nuevo"

case_name="XDG_DATA_HOME names the folder"
h=$scratch/h2
mkdir -p "$h"
launch "$h" "$scratch/datos"
expect_text "$out" "v2 $scratch/datos/velmor/velmor"
expect_file "$scratch/datos/velmor/velmor.mdb" "vacío"
expect_absent "$h/.local/share/velmor"

case_name="started through a link from another folder"
mkdir -p "$scratch/usrbin"
ln -s "$prefix/bin/velmor" "$scratch/usrbin/velmor"
h=$scratch/h3
mkdir -p "$h"
launcher=$scratch/usrbin/velmor launch "$h"
expect_text "$out" "v2 $h/.local/share/velmor/velmor"

case_name="no installed program"
cp "$prefix/bin/velmor" "$scratch/usrbin/suelto"
h=$scratch/h4
mkdir -p "$h"
launcher=$scratch/usrbin/suelto launch "$h"
[ $status -eq 1 ] || fail "status $status"
expect_text "$out" "falta la carpeta del programa instalado"
expect_absent "$h/.local/share/velmor/velmor.mdb"

# The catalogue move: name, files before, expected status, files after.
move() { # move OLD FOLDER
  out=$("$src/scripts/move-catalogue.sh" "$1" "$2" 2>&1)
  status=$?
}

case_name="old catalogue moved into an empty folder"
d=$scratch/m1
mkdir -p "$d/build/src"
printf 'un CD\0\377' > "$d/build/src/velmor.mdb"
cp "$d/build/src/velmor.mdb" "$d/original"
move "$d/build/src/velmor.mdb" "$d/carpeta"
[ $status -eq 0 ] || fail "status $status: $out"
cmp -s "$d/original" "$d/carpeta/velmor.mdb" || fail "moved catalogue differs"
expect_absent "$d/build/src/velmor.mdb"
expect_absent "$d/carpeta/velmor.mdb.traslado"
expect_text "$out" "Catálogo trasladado de $d/build/src/velmor.mdb a $d/carpeta/velmor.mdb."

case_name="both catalogues kept when the folder has one"
d=$scratch/m2
mkdir -p "$d/build/src" "$d/carpeta"
echo viejo > "$d/build/src/velmor.mdb"
echo nuevo > "$d/carpeta/velmor.mdb"
move "$d/build/src/velmor.mdb" "$d/carpeta"
[ $status -eq 0 ] || fail "status $status"
expect_file "$d/build/src/velmor.mdb" viejo
expect_file "$d/carpeta/velmor.mdb" nuevo
expect_text "$out" "hay dos catálogos"

case_name="old catalogue with pending changes stays"
d=$scratch/m3
mkdir -p "$d/build/src"
echo viejo > "$d/build/src/velmor.mdb"
echo pendiente > "$d/build/src/velmor.mdb-journal"
move "$d/build/src/velmor.mdb" "$d/carpeta"
[ $status -eq 1 ] || fail "status $status"
expect_file "$d/build/src/velmor.mdb" viejo
expect_absent "$d/carpeta/velmor.mdb"
expect_text "$out" "cambios pendientes"

case_name="nothing to move"
d=$scratch/m4
move "$d/build/src/velmor.mdb" "$d/carpeta"
[ $status -eq 0 ] || fail "status $status"
[ -z "$out" ] || fail "output '$out'"
expect_absent "$d/carpeta"

# The installed tree.
case_name="install into an empty prefix"
tree=$scratch/tree
if out=$(cmake --install "$build" --prefix "$tree" 2>&1); then
  for f in bin/velmor lib/velmor/velmor lib/velmor/velmor-db \
    share/applications/com.tolvane.velmor.desktop \
    share/metainfo/com.tolvane.velmor.metainfo.xml \
    share/icons/hicolor/scalable/apps/velmor.svg \
    share/doc/velmor/LICENSE share/doc/velmor/CHANGELOG.md share/doc/velmor/README.md; do
    [ -f "$tree/$f" ] || fail "$f missing"
  done
  for size in 16 32 48 64 128 256; do
    icon=$tree/share/icons/hicolor/${size}x$size/apps/velmor.png
    [ -f "$icon" ] || fail "$icon missing"
    # A PNG's width and height are the big-endian words at bytes 16 and 20.
    geometry=$(od -An -tu1 -j16 -N8 "$icon" 2>/dev/null | awk '{ print $3 * 256 + $4 "x" $7 * 256 + $8 }')
    [ "$geometry" = "${size}x$size" ] || fail "$icon is $geometry"
  done
  [ "$(readlink "$tree/bin/velmor-db")" = ../lib/velmor/velmor-db ] || fail "bin/velmor-db is no link"
  [ -x "$tree/bin/velmor-db" ] || fail "bin/velmor-db does not reach the program"
  grep -qx "Exec=\"$tree/bin/velmor\"" "$tree/share/applications/com.tolvane.velmor.desktop" \
    || fail "desktop entry does not start $tree/bin/velmor"
  out=$(desktop-file-validate "$tree/share/applications/com.tolvane.velmor.desktop" 2>&1) \
    && [ -z "$out" ] || fail "desktop-file-validate: $out"
  out=$(appstreamcli validate --no-net "$tree/share/metainfo/com.tolvane.velmor.metainfo.xml" 2>&1) \
    || fail "appstreamcli: $out"
else
  fail "cmake --install: $out"
fi

[ $failures -eq 0 ] && echo "all cases passed"
[ $failures -eq 0 ]
