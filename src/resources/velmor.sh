#!/bin/sh
# Starts velmor from the user's own program folder.
#
# velmor keeps its catalogue, velmor.mdb, in the folder of its executable, and the
# installed executable's folder (PREFIX/lib/velmor) may not be writable. So each
# user gets a program folder of their own, $XDG_DATA_HOME/velmor (by default
# ~/.local/share/velmor), holding velmor, velmor-db and velmor.mdb. This script
# brings the two executables there from the installed ones whenever those
# change, makes an empty catalogue with "velmor-db crear" on a first start, starts
# the day's copy of the catalogue in the background, and starts the program from
# there. It never touches an existing catalogue.
set -eu

self=$(readlink -f "$0")
installed=$(cd "$(dirname "$self")/../lib/velmor" 2>/dev/null && pwd) || {
  echo "velmor: falta la carpeta del programa instalado, $(dirname "$self")/../lib/velmor" >&2
  exit 1
}
# A relative $XDG_DATA_HOME is no valid setting, and velmor-db ignores it too.
case ${XDG_DATA_HOME:-} in
  /*) data=$XDG_DATA_HOME ;;
  *) data=${HOME:?HOME no está definido}/.local/share ;;
esac
folder=$data/velmor
catalogue=$folder/velmor.mdb

if ! mkdir -p "$folder" 2>/dev/null; then
  echo "velmor: no se puede crear la carpeta $folder" >&2
  exit 1
fi

# Brings the programs into the folder and makes the catalogue of a first start.
prepare() {
  for program in velmor velmor-db; do
    cmp -s "$installed/$program" "$folder/$program" && continue
    # A copy, not a link: the program finds its folder through its real file. It
    # is written under a name of its own and put in place with one rename, so a
    # running copy is never overwritten.
    rm -f "$folder/$program.nuevo" "$folder/.$program.nuevo."??????
    new=
    if ! {
      new=$(mktemp "$folder/.$program.nuevo.XXXXXX" 2>/dev/null) \
        && cp "$installed/$program" "$new" 2>/dev/null \
        && chmod 755 "$new" && mv -f "$new" "$folder/$program" 2>/dev/null
    }; then
      [ -z "$new" ] || rm -f "$new"
      echo "velmor: no se puede copiar $program a $folder: el disco está lleno o no hay permiso" >&2
      return 1
    fi
  done

  # Only a true first start gets an empty catalogue: a link at that name whose
  # target is missing (a drive not mounted) is left for the program to report.
  if [ ! -e "$catalogue" ] && [ ! -L "$catalogue" ]; then
    "$folder/velmor-db" crear "$catalogue" >/dev/null || {
      echo "velmor: no se puede crear el catálogo $catalogue" >&2
      return 1
    }
  fi
}

# Two starts at once take turns: the second finds the programs and the
# catalogue the first one made.
if command -v flock >/dev/null 2>&1; then
  (flock 9 && prepare) 9<"$folder" || exit 1
else
  prepare || exit 1
fi

# The day's copy, made at low priority in a process of its own that the program
# never waits for.
if [ -f "$catalogue" ] && [ ! -e "$folder/respaldos/velmor-$(date +%F).mdb" ]; then
  ("$installed/velmor-tareas" diaria "$folder" </dev/null >/dev/null 2>&1 &)
fi

exec "$folder/velmor" "$@"
