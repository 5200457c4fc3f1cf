#!/bin/sh
# move-catalogue.sh OLD FOLDER
#
# Moves the catalogue OLD (the one earlier versions kept in the build tree) into
# the program folder FOLDER when FOLDER holds none. The copy is compared with the
# original before the original is removed, and an existing catalogue is never
# overwritten: when both exist, both are left as they are and a warning says so.
# Exit status 0 when nothing had to be done or the move is done, 1 otherwise.
set -eu

old=$1
folder=$2
new=$folder/velmor.mdb

[ -e "$old" ] || exit 0

if [ -e "$new" ]; then
  echo "Aviso: hay dos catálogos; se usa $new y $old queda sin tocar." >&2
  exit 0
fi

# A journal beside the old file holds changes not yet written into it; copying
# the file alone would lose them.
for journal in "$old-journal" "$old-wal"; do
  if [ -s "$journal" ]; then
    echo "No se traslada $old: tiene cambios pendientes en $journal." >&2
    exit 1
  fi
done

mkdir -p "$folder"
part=$folder/velmor.mdb.traslado
rm -f "$part"
if ! cp "$old" "$part" || ! cmp -s "$old" "$part"; then
  rm -f "$part"
  echo "No se traslada $old: la copia en $folder no es igual al original." >&2
  exit 1
fi
# ln refuses an existing name, so a catalogue made meanwhile is not overwritten.
if ! ln "$part" "$new" 2>/dev/null; then
  rm -f "$part"
  echo "No se traslada $old: no se puede crear $new." >&2
  exit 1
fi
rm -f "$part" "$old" "$old-journal" "$old-wal" "$old-shm"
echo "Catálogo trasladado de $old a $new."
