#!/bin/sh
# test_install.sh SOURCE_DIR BUILD_DIR
#
# The launcher (first starts, updates, two starts at once, a catalogue on a drive
# that is not mounted) and the day's copies, run on stand-in programs and on the
# real velmor-db in scratch homes; the catalogue move; and the installed tree of
# BUILD_DIR under an empty prefix: its files, the menu entry's actions run from
# their Exec lines, and its uninstall.
set -u
src=$(cd "$1" && pwd)
build=$(cd "$2" && pwd)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
# Relative paths a faulty launcher might take land here.
cd "$scratch" || exit 1
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
expect_listing() { # expect_listing FOLDER NAMES: every name in FOLDER, sorted, one space apart
  listing=$(ls -A "$1" 2>/dev/null | sort | tr '\n' ' ')
  [ "$listing" = "$2 " ] || fail "$1 holds '$listing', expected '$2 '"
}

# Stand-ins first on the path: date gives the day $HOY when set, df the free
# space $LIBRE_KIB when set; otherwise the real commands answer.
stubs=$scratch/stubs
mkdir -p "$stubs"
cat > "$stubs/date" <<STUB
#!/bin/sh
case " \$* " in *" -d "*) exec $(command -v date) "\$@" ;; esac
[ -n "\${HOY:-}" ] && exec $(command -v date) -d "\$HOY \$($(command -v date) +%T)" "\$@"
exec $(command -v date) "\$@"
STUB
cat > "$stubs/df" <<STUB
#!/bin/sh
[ -z "\${LIBRE_KIB:-}" ] && exec $(command -v df) "\$@"
printf 'Filesystem 1024-blocks Used Available Capacity Mounted on\nprueba 9999999 0 %s 0%% /\n' "\$LIBRE_KIB"
STUB
chmod +x "$stubs/date" "$stubs/df"
PATH=$stubs:$PATH
export PATH

# A prefix as installed: the launcher and the tasks' script, and stand-ins. velmor
# tells where it was started from; velmor-db crear makes a file and, like the real
# one, refuses an existing one; respaldar copies the file, held back while $RETEN
# names a file that is not there.
make_prefix() { # make_prefix PREFIX [PADDING_BYTES]
  mkdir -p "$1/bin" "$1/lib/velmor"
  cp "$src/src/resources/velmor.sh" "$1/bin/velmor"
  cp "$src/src/resources/velmor-tareas.sh" "$1/lib/velmor/velmor-tareas"
  cat > "$1/lib/velmor/velmor" <<'STUB'
#!/bin/sh
echo "v1 $0 $*"
exit 0
STUB
  cat > "$1/lib/velmor/velmor-db" <<'STUB'
#!/bin/sh
case $1 in
  crear) [ ! -e "$2" ] && echo vacío > "$2" ;;
  respaldar)
    i=0
    while [ -n "${RETEN:-}" ] && [ ! -e "$RETEN" ] && [ $i -lt 300 ]; do
      sleep 0.1
      i=$((i + 1))
    done
    [ ! -e "$3" ] && cp "$2" "$3" ;;
esac
exit 0
STUB
  # Padding makes the programs slow to copy, as real ones are.
  for program in velmor velmor-db; do
    head -c "${2:-0}" /dev/zero | tr '\0' '#' >> "$1/lib/velmor/$program"
  done
  chmod +x "$1/bin/velmor" "$1/lib/velmor/"*
}
prefix=$scratch/prefix
make_prefix "$prefix"

launch() { # launch HOME [XDG_DATA_HOME] -- runs bin/velmor, output in $out, status in $status
  out=$(HOME=$1 XDG_DATA_HOME=${2:-} "${launcher:-$prefix/bin/velmor}" -platform x 2>&1)
  status=$?
}

# Waits until the day's copy started in FOLDER is done: the copy or a line in the
# record is there, and the copy's process, which holds the folder of copies
# locked until it has pruned them, has let go.
settle() { # settle FOLDER
  i=0
  until [ -e "$1/respaldos/velmor-$(date +%F).mdb" ] || [ -s "$1/respaldos/registro.txt" ]; do
    i=$((i + 1))
    [ $i -le 900 ] || { fail "no day's copy in $1"; return; }
    sleep 0.1
  done
  flock "$1/respaldos" true
}

case_name="first start in a new home"
h=$scratch/h1
mkdir -p "$h"
launch "$h"
[ $status -eq 0 ] || fail "status $status: $out"
expect_text "$out" "v1 $h/.local/share/velmor/velmor -platform x"
expect_file "$h/.local/share/velmor/velmor.mdb" "vacío"
cmp -s "$prefix/lib/velmor/velmor-db" "$h/.local/share/velmor/velmor-db" || fail "velmor-db not copied"
settle "$h/.local/share/velmor"
expect_listing "$h/.local/share/velmor/respaldos" "velmor-$(date +%F).mdb"

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
expect_listing "$h/.local/share/velmor" "respaldos velmor velmor-db velmor.mdb"

case_name="XDG_DATA_HOME names the folder"
h=$scratch/h2
mkdir -p "$h"
launch "$h" "$scratch/datos"
expect_text "$out" "v2 $scratch/datos/velmor/velmor"
expect_file "$scratch/datos/velmor/velmor.mdb" "vacío"
expect_absent "$h/.local/share/velmor"
settle "$scratch/datos/velmor"

case_name="a relative XDG_DATA_HOME is no setting"
launch "$h" "datos"
expect_text "$out" "v2 $h/.local/share/velmor/velmor"
settle "$h/.local/share/velmor"

case_name="started through a link from another folder"
mkdir -p "$scratch/usrbin"
ln -s "$prefix/bin/velmor" "$scratch/usrbin/velmor"
h=$scratch/h3
mkdir -p "$h"
launcher=$scratch/usrbin/velmor launch "$h"
expect_text "$out" "v2 $h/.local/share/velmor/velmor"
settle "$h/.local/share/velmor"

case_name="no installed program"
cp "$prefix/bin/velmor" "$scratch/usrbin/suelto"
h=$scratch/h4
mkdir -p "$h"
launcher=$scratch/usrbin/suelto launch "$h"
[ $status -eq 1 ] || fail "status $status"
expect_text "$out" "falta la carpeta del programa instalado"
expect_absent "$h/.local/share/velmor/velmor.mdb"

case_name="a catalogue link whose drive is not mounted"
h=$scratch/h5
f=$h/.local/share/velmor
# The drive's mount point is there, empty.
mkdir -p "$f" "$scratch/sin-montar"
ln -s "$scratch/sin-montar/velmor.mdb" "$f/velmor.mdb"
launch "$h"
[ $status -eq 0 ] || fail "status $status: $out"
expect_text "$out" "v2 $f/velmor"
[ -L "$f/velmor.mdb" ] || fail "the link is gone"
expect_absent "$scratch/sin-montar/velmor.mdb"
expect_absent "$f/respaldos"

# Both starts succeed and start the program; the folder holds the programs and
# one catalogue, with nothing left over.
case_name="two starts at once on a fresh folder"
race=$scratch/race
make_prefix "$race" 4000000
for run in $(seq 20); do
  h=$scratch/r$run
  f=$h/.local/share/velmor
  mkdir -p "$h"
  HOME=$h XDG_DATA_HOME='' "$race/bin/velmor" > "$h/uno" 2>&1 &
  first=$!
  HOME=$h XDG_DATA_HOME='' "$race/bin/velmor" > "$h/dos" 2>&1
  second=$?
  wait $first || second="$second and $?"
  [ "$second" = 0 ] || fail "run $run: status $second: $(cat "$h/uno" "$h/dos")"
  expect_file "$h/uno" "v1 $f/velmor "
  expect_file "$h/dos" "v1 $f/velmor "
  cmp -s "$race/lib/velmor/velmor" "$f/velmor" && cmp -s "$race/lib/velmor/velmor-db" "$f/velmor-db" \
    || fail "run $run: programs not copied whole"
  expect_file "$f/velmor.mdb" "vacío"
  settle "$f"
  expect_listing "$f" "respaldos velmor velmor-db velmor.mdb"
done

# The day's copies on stand-ins, on simulated days.
case_name="the program starts while the copy is still running"
h=$scratch/d2
f=$h/.local/share/velmor
mkdir -p "$h"
RETEN=$scratch/suelta
export RETEN
launch "$h"
expect_text "$out" "v2 $f/velmor"
expect_absent "$f/respaldos/velmor-$(date +%F).mdb"
touch "$RETEN"
settle "$f"
unset RETEN
[ -f "$f/respaldos/velmor-$(date +%F).mdb" ] || fail "no copy once let go"

# Each case: name, day, free KiB, catalogue KiB, files in the folder of copies
# before (40 KiB each), the files expected after, a part of the record or "-" for
# no record.
copies_case() {
  case_name=$1
  h=$scratch/c$2
  f=$h/.local/share/velmor
  mkdir -p "$f/respaldos"
  head -c $(($4 * 1024)) /dev/zero > "$f/velmor.mdb"
  for name in $5; do
    head -c 40960 /dev/zero > "$f/respaldos/$name"
  done
  HOY=$2 LIBRE_KIB=$3
  export HOY LIBRE_KIB
  launch "$h"
  settle "$f"
  unset HOY LIBRE_KIB
  expect_listing "$f/respaldos" "$6"
  if [ "$7" = - ]; then
    expect_absent "$f/respaldos/registro.txt"
  else
    expect_text "$(cat "$f/respaldos/registro.txt" 2>/dev/null)" "$7"
  fi
}
every_day='' day=2026-01-20
while [ $day != 2026-03-12 ]; do
  every_day="$every_day velmor-$day.mdb"
  day=$(date -d "$day + 1 day" +%F)
done
copies_case "seven daily and four weekly copies kept" 2026-03-12 1000000 40 \
  "$every_day velmor-2026-03-11.mdb.Ab12Cd notas.txt" \
  "notas.txt velmor-2026-02-22.mdb velmor-2026-03-01.mdb velmor-2026-03-06.mdb velmor-2026-03-07.mdb velmor-2026-03-08.mdb velmor-2026-03-09.mdb velmor-2026-03-10.mdb velmor-2026-03-11.mdb velmor-2026-03-12.mdb" -
# A tenth of 1080 KiB free and the 120 KiB the copies take has room for three.
copies_case "copies beyond a tenth of the free space go, oldest first" 2026-03-13 1080 40 \
  "velmor-2026-03-10.mdb velmor-2026-03-11.mdb velmor-2026-03-12.mdb" \
  "registro.txt velmor-2026-03-11.mdb velmor-2026-03-12.mdb velmor-2026-03-13.mdb" \
  "Se borra la copia velmor-2026-03-10.mdb: las copias ocuparían más de la décima parte"
copies_case "no copy of a catalogue bigger than a tenth of the free space" 2026-03-14 300 40 "" \
  "registro.txt" "No se hace la copia velmor-2026-03-14.mdb: el catálogo (40 KiB) ocuparía"

# The day's copy made by the real velmor-db, beside another program.
real=$scratch/real
make_prefix "$real"
cp "$build/tools/velmor-db/velmor-db" "$real/lib/velmor/velmor-db"
template=$scratch/plantilla.mdb
"$real/lib/velmor/velmor-db" crear "$template" > /dev/null
sqlite3 "$template" "with recursive n(i) as (select 1 union all select i + 1 from n where i < 20000)
  insert into datos_cd select i, 'CD ' || i, 'ARTISTA', printf('%.200c', 'D') from n;
  insert into canciones (id, cancion1) select id, 'CANCIÓN' from datos_cd;"
today=velmor-$(date +%F).mdb

case_name="the catalogue locked by another program"
h=$scratch/s2
f=$h/.local/share/velmor
mkdir -p "$f"
cp "$template" "$f/velmor.mdb"
before=$(cksum < "$f/velmor.mdb")
{
  echo "pragma locking_mode = exclusive; begin exclusive; select count(*) from datos_cd;"
  sleep 14
  echo "commit;"
} | sqlite3 -cmd ".timeout 5000" "$f/velmor.mdb" > /dev/null &
holder=$!
until ! sqlite3 "$f/velmor.mdb" "select count(*) from datos_cd" > /dev/null 2>&1; do sleep 0.1; done
launcher=$real/bin/velmor launch "$h"
settle "$f"
wait $holder
expect_listing "$f/respaldos" "registro.txt"
expect_text "$(cat "$f/respaldos/registro.txt")" "No se pudo hacer la copia $today: "
expect_text "$(cat "$f/respaldos/registro.txt")" "en uso por otro programa"
[ "$(cksum < "$f/velmor.mdb")" = "$before" ] || fail "the catalogue changed"

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
entry=$tree/share/applications/com.tolvane.velmor.desktop
if out=$(cmake --install "$build" --prefix "$tree" 2>&1); then
  for f in bin/velmor lib/velmor/velmor lib/velmor/velmor-db lib/velmor/velmor-tareas \
    share/applications/com.tolvane.velmor.desktop \
    share/metainfo/com.tolvane.velmor.metainfo.xml \
    share/icons/hicolor/scalable/apps/velmor.svg \
    share/man/man1/velmor.1 share/man/man1/velmor-db.1 \
    share/man/es/man1/velmor.1 share/man/es/man1/velmor-db.1 \
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
  grep -qx "Exec=\"$tree/bin/velmor\"" "$entry" || fail "desktop entry does not start $tree/bin/velmor"
  if command -v desktop-file-validate > /dev/null; then
    out=$(desktop-file-validate "$entry" 2>&1) && [ -z "$out" ] || fail "desktop-file-validate: $out"
  else
    echo "SKIPPED: desktop-file-validate: not installed"
  fi
  if command -v appstreamcli > /dev/null; then
    out=$(appstreamcli validate --pedantic --no-net \
      "$tree/share/metainfo/com.tolvane.velmor.metainfo.xml" 2>&1)
    [ "$out" = "✔ Validation was successful." ] || fail "appstreamcli: $out"
  else
    echo "SKIPPED: appstreamcli: not installed"
  fi
else
  fail "cmake --install: $out"
fi

# The menu entry's actions, run from their Exec lines on a catalogue of 20000 CDs,
# with stand-ins that tell the documents folder and note what is opened and
# announced. Each case: action, whether the catalogue is there, whether a program
# opens the file, expected status, the file made (a pattern) or "-", whether it is
# opened, a part of the notification.
acc=$scratch/acciones
mkdir -p "$acc/bin" "$acc/datos/velmor" "$acc/docs"
cat > "$acc/bin/xdg-user-dir" <<STUB
#!/bin/sh
echo "$acc/docs"
STUB
cat > "$acc/bin/xdg-open" <<STUB
#!/bin/sh
echo "\$1" >> "$acc/abiertos"
[ -z "\${SIN_VISOR:-}" ]
STUB
cat > "$acc/bin/notify-send" <<STUB
#!/bin/sh
echo "\$*" >> "$acc/avisos"
STUB
chmod +x "$acc/bin/"*
action_case() { # action_case ACTION CATALOGUE VIEWER STATUS MADE OPENED NOTICE
  case_name="menu action $1, catalogue $2, viewer $3"
  viewer=$3 expected=$4 pattern=$5 opened=$6 notice=$7
  rm -f "$acc/docs/"* "$acc/abiertos" "$acc/avisos" "$acc/datos/velmor/velmor.mdb"
  [ "$2" = no ] || cp "$template" "$acc/datos/velmor/velmor.mdb"
  command=$(awk -v section="[Desktop Action $1]" '$0 == section { on = 1; next }
    /^\[/ { on = 0 } on && sub(/^Exec=/, "")' "$entry")
  [ -n "$command" ] || { fail "no action $1 in the menu entry"; return; }
  eval "set -- $command"
  (
    [ "$viewer" = yes ] || SIN_VISOR=1
    export SIN_VISOR
    PATH=$acc/bin:$PATH XDG_DATA_HOME=$acc/datos "$@" > /dev/null 2>&1
  )
  status=$?
  [ $status -eq "$expected" ] || fail "status $status"
  made=$(ls "$acc/docs")
  if [ "$pattern" = - ]; then
    [ -z "$made" ] || fail "made $made"
  else
    # shellcheck disable=SC2254 # the pattern is meant as one
    case $made in $pattern) ;; *) fail "made '$made', expected $pattern" ;; esac
  fi
  if [ "$opened" = yes ]; then
    expect_file "$acc/abiertos" "$acc/docs/$made"
  else
    expect_absent "$acc/abiertos"
  fi
  expect_text "$(cat "$acc/avisos" 2>/dev/null)" "$notice"
}
action_case respaldar yes yes 0 "velmor-20[0-9][0-9]-[01][0-9]-[0-3][0-9]-[0-9][0-9][0-9][0-9][0-9][0-9].mdb" no \
  "--app-name=velmor --icon=velmor Catálogo respaldado $acc/docs/velmor-"
if [ "$failures" -eq 0 ]; then
  "$tree/bin/velmor-db" verificar "$acc/docs/$made" > /dev/null || fail "the copy is not sound"
fi
action_case imprimir yes yes 0 "velmor-catalogo-*.pdf" yes "Catálogo para imprimir $acc/docs/velmor-catalogo-"
[ "$(head -c 5 "$acc/docs/$made")" = "%PDF-" ] || fail "$made is no PDF"
action_case hoja yes yes 0 "velmor-hoja-*.ods" yes "Catálogo exportado a hoja de cálculo $acc/docs/"
# An OpenDocument file opens with its zip entry "mimetype", stored first.
[ "$(head -c 84 "$acc/docs/$made" | tail -c 46)" = "application/vnd.oasis.opendocument.spreadsheet" ] \
  || fail "$made is no spreadsheet"
action_case respaldar no yes 1 - no \
  "No se pudo respaldar el catálogo No se encuentra el archivo del catálogo «$acc/datos/velmor/velmor.mdb»"
action_case imprimir yes no 1 "velmor-catalogo-*.pdf" yes "--icon=dialog-error Catálogo para imprimir"

# Everything installed goes, links included; a user's program folder inside the
# prefix (as ~/.local/share/velmor is inside ~/.local) stays.
case_name="uninstall"
mkdir -p "$tree/share/velmor/respaldos"
for f in velmor velmor-db velmor.mdb respaldos/velmor-2026-03-01.mdb; do
  echo "del usuario" > "$tree/share/velmor/$f"
done
if out=$(cmake --build "$build" --target uninstall 2>&1); then
  left=$(cd "$tree" && find . ! -type d | sort | tr '\n' ' ')
  [ "$left" = "./share/velmor/respaldos/velmor-2026-03-01.mdb ./share/velmor/velmor ./share/velmor/velmor-db ./share/velmor/velmor.mdb " ] \
    || fail "left: $left"
  expect_absent "$tree/lib/velmor"
else
  fail "uninstall: $out"
fi

[ $failures -eq 0 ] && echo "all cases passed"
[ $failures -eq 0 ]
