#!/bin/sh
# velmor-tareas TAREA: what velmor does for its user outside the program, through
# the velmor-db installed beside this script.
#
#   diaria CARPETA   the day's copy of CARPETA/velmor.mdb into CARPETA/respaldos, made
#                    by the launcher in the background; a failure is written to
#                    CARPETA/respaldos/registro.txt.
#   respaldar        the menu entry's actions on the user's own catalogue (velmor-db
#   imprimir         --catalogo): a copy, the printable catalogue or the spreadsheet,
#   hoja             written into the documents folder; the last two are then opened.
#                    Each ends in a desktop notification where notify-send is present,
#                    on standard error otherwise.
set -u

db=$(dirname "$(readlink -f "$0")")/velmor-db

# --- The day's copy -------------------------------------------------------------

# Seven daily copies and the newest copy of each of the last four weeks are kept,
# as long as they take at most a tenth of the free space of their disk.
daily_kept=7
weekly_kept=4

note() { # note TEXT: a line in the record of the copies
  printf '%s %s\n' "$(date '+%F %T')" "$1" >>"$log" 2>/dev/null || :
}

kib() { # kib FILE: its size in KiB, rounded up
  echo $((($(wc -c <"$1") + 1023) / 1024))
}

# The copies, newest first, one name a line.
copies() {
  for path in "$backups"/velmor-[0-9][0-9][0-9][0-9]-[0-9][0-9]-[0-9][0-9].mdb; do
    [ -f "$path" ] && echo "${path##*/}"
  done | sort -r
}

# The copies take at most a tenth of the disk's free space, where the space the
# copies themselves take counts as free: otherwise each day's copies would shrink
# the room for the next day's.
budget_kib() {
  free=$(df -Pk "$backups" 2>/dev/null | awk 'NR == 2 { print $4 }')
  taken=0
  for name in $(copies); do
    taken=$((taken + $(kib "$backups/$name")))
  done
  echo $(((${free:-0} + taken) / 10))
}

# Keeps the daily and weekly copies, then, oldest first, drops those the budget has
# no room for.
prune() { # prune BUDGET_KIB
  count=0
  weeks=
  week_count=0
  total=0
  for name in $(copies); do
    day=${name#velmor-}
    day=${day%.mdb}
    week=$(date -d "$day" +%G-%V 2>/dev/null) || continue
    count=$((count + 1))
    keep=no
    [ $count -le $daily_kept ] && keep=yes
    case " $weeks " in
      *" $week "*) ;;
      *)
        weeks="$weeks $week"
        week_count=$((week_count + 1))
        [ $week_count -le $weekly_kept ] && keep=yes
        ;;
    esac
    if [ $keep = yes ]; then
      # The total counts every copy kept so far, so once one copy has no room, no
      # older one has either.
      total=$((total + $(kib "$backups/$name")))
      if [ $total -gt "$1" ]; then
        keep=no
        note "Se borra la copia $name: las copias ocuparían más de la décima parte del espacio libre."
      fi
    fi
    [ $keep = yes ] || rm -f "$backups/$name"
  done
}

# What a copy cut short (the machine turned off, a full disk) left behind: its
# file under a temporary name, and that file's journal. Only while no copy runs.
leftovers() {
  rm -f "$backups"/velmor-????-??-??.mdb.?????? "$backups"/velmor-????-??-??.mdb.??????-*
}

daily() { # daily FOLDER
  catalogue=$1/velmor.mdb
  backups=$1/respaldos
  log=$backups/registro.txt
  [ -f "$catalogue" ] || return 0
  mkdir -p "$backups" 2>/dev/null || return 1
  # One copy at a time: a second start of the day leaves the work to the first.
  if command -v flock >/dev/null 2>&1; then
    exec 8<"$backups" && flock -n 8 || return 0
  fi
  name=velmor-$(date +%F).mdb
  [ -e "$backups/$name" ] && return 0
  leftovers

  budget=$(budget_kib)
  size=$(kib "$catalogue")
  if [ "$size" -gt "$budget" ]; then
    note "No se hace la copia $name: el catálogo ($size KiB) ocuparía más de la décima parte del espacio libre."
  else
    # At the lowest priority for the processor and the disk, so that the program
    # keeps its speed while the copy runs.
    set --
    command -v ionice >/dev/null 2>&1 && set -- ionice -c 3 -t
    out=$(nice -n 19 "$@" "$db" respaldar "$catalogue" "$backups/$name" 2>&1)
    code=$?
    case $code in
      0) ;;
      1) note "La copia $name está hecha, pero no pasa la verificación: $(echo "$out" | grep PROBLEMA | tr '\n' ' ')" ;;
      *)
        why=$(echo "$out" | grep '^velmor-db:' | sed 's/^velmor-db: //' | tr '\n' ' ')
        note "No se pudo hacer la copia $name: ${why:-velmor-db terminó con el código $code.}"
        leftovers
        ;;
    esac
  fi
  prune "$budget"
}

# --- The menu entry's actions ---------------------------------------------------

tell() { # tell ICON TITLE TEXT
  if command -v notify-send >/dev/null 2>&1; then
    notify-send --app-name=velmor --icon="$1" "$2" "$3" 2>/dev/null && return
  fi
  printf '%s: %s\n' "$2" "$3" >&2
}

# Runs velmor-db; when it cannot do the work, tells why and ends. The status is
# velmor-db's: 1 when the work is done but the catalogue has problems.
run() { # run TITLE_ON_FAILURE ARGUMENT...
  failed=$1
  shift
  out=$("$db" "$@" 2>&1 >/dev/null)
  code=$?
  [ $code -le 1 ] && return $code
  why=$(echo "$out" | grep '^velmor-db:' | sed 's/^velmor-db: //')
  tell dialog-error "$failed" "${why:-velmor-db terminó con el código $code.}"
  exit 1
}

show() { # show FILE TEXT
  if xdg-open "$1" >/dev/null 2>&1; then
    tell velmor "$2" "$1"
  else
    tell dialog-error "$2" "$1 (no se pudo abrir: falta un programa para este tipo de archivo)"
    exit 1
  fi
}

action() { # action NAME
  documents=$(xdg-user-dir DOCUMENTS 2>/dev/null) || documents=
  [ -n "$documents" ] || documents=$HOME
  mkdir -p "$documents" 2>/dev/null || {
    tell dialog-error "velmor" "No se puede crear la carpeta $documents."
    exit 1
  }
  stamp=$(date +%Y-%m-%d-%H%M%S)
  spreadsheet=$documents/velmor-hoja-$stamp.ods
  case $1 in
    respaldar)
      copy=$documents/velmor-$stamp.mdb
      if run "No se pudo respaldar el catálogo" respaldar --catalogo "$copy"; then
        tell velmor "Catálogo respaldado" "$copy"
      else
        tell dialog-warning "Catálogo respaldado, con problemas" \
          "$copy: la copia no pasa la verificación; «velmor-db verificar» dice por qué."
      fi
      ;;
    imprimir)
      report=$documents/velmor-catalogo-$stamp.pdf
      run "No se pudo escribir el catálogo para imprimir" informe --catalogo "$report"
      show "$report" "Catálogo para imprimir"
      ;;
    hoja)
      run "No se pudo exportar el catálogo" exportar --hoja --catalogo "$spreadsheet"
      show "$spreadsheet" "Catálogo exportado a hoja de cálculo"
      ;;
  esac
}

case ${1:-} in
  diaria) daily "${2:?falta la carpeta}" ;;
  respaldar | imprimir | hoja) action "$1" ;;
  *)
    echo "Uso: velmor-tareas diaria CARPETA | respaldar | imprimir | hoja" >&2
    exit 2
    ;;
esac
