#!/bin/sh
# Starts velmor from the user's own program folder.
#
# velmor keeps its catalogue, velmor.mdb, in the folder of its executable, and the
# installed executable's folder (PREFIX/lib/velmor) may not be writable. So each
# user gets a program folder of their own, $XDG_DATA_HOME/velmor (by default
# ~/.local/share/velmor), holding velmor, velmor-db and velmor.mdb. This script
# brings the two executables there from the installed ones whenever those
# change, makes an empty catalogue with "velmor-db crear" when there is none, and
# starts the program from there. It never touches an existing catalogue.
set -eu

self=$(readlink -f "$0")
installed=$(cd "$(dirname "$self")/../lib/velmor" 2>/dev/null && pwd) || {
  echo "velmor: falta la carpeta del programa instalado, $(dirname "$self")/../lib/velmor" >&2
  exit 1
}
folder=${XDG_DATA_HOME:-${HOME:?HOME no está definido}/.local/share}/velmor

if ! mkdir -p "$folder"; then
  echo "velmor: no se puede crear la carpeta $folder" >&2
  exit 1
fi

for program in velmor velmor-db; do
  if ! cmp -s "$installed/$program" "$folder/$program"; then
    # A copy, not a link: the program finds its folder through its real file. It
    # is put in place with one rename, so a running copy is never overwritten.
    rm -f "$folder/$program.nuevo"
    cp "$installed/$program" "$folder/$program.nuevo" || {
      rm -f "$folder/$program.nuevo"
      echo "velmor: no se puede copiar $program a $folder" >&2
      exit 1
    }
    mv -f "$folder/$program.nuevo" "$folder/$program"
  fi
done

if [ ! -e "$folder/velmor.mdb" ]; then
  # velmor-db crear refuses an existing file, so two first starts at once are safe.
  "$folder/velmor-db" crear "$folder/velmor.mdb" >/dev/null || [ -e "$folder/velmor.mdb" ] || {
    echo "velmor: no se puede crear el catálogo $folder/velmor.mdb" >&2
    exit 1
  }
fi

exec "$folder/velmor" "$@"
