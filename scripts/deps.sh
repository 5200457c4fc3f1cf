# Installs the Debian packages velmor needs, when missing. Sourced by run.sh
# (building and running) and test.sh (also the tests and benchmarks).

# Building the program and velmor-db (which reads Access files through libmdb and
# spreadsheet files through QuaZip), and the fonts the forms and the printed
# catalogue are laid out for.
velmor_build_packages=(
  cmake ninja-build g++ pkg-config
  qt6-base-dev
  libsqlite3-dev libicu-dev
  mdbtools-dev
  libquazip1-qt6-dev
  fonts-dejavu-core fonts-liberation
)

# Running: Qt's own texts in Spanish (the boxes' context menus, the child windows'
# system menu).
velmor_run_packages=(
  qt6-translations-l10n
)

# Tests and benchmarks: Google Benchmark; the mdbtools commands the Access reader
# is compared with; the sqlite3 shell the export benchmark is measured beside;
# npm to fetch the Access sample; the validators of the installed desktop entry
# and metainfo; pdftotext and pdfinfo to read the printable catalogue back;
# dpkg-shlibdeps, which gives the Debian package its dependencies, and lintian,
# which checks it; LibreOffice's spreadsheet, which the exported
# spreadsheet must survive.
velmor_test_packages=(
  libbenchmark-dev
  mdbtools sqlite3
  npm
  desktop-file-utils appstream
  poppler-utils
  dpkg-dev lintian
  libreoffice-calc-nogui
)

# velmor_install_packages PACKAGE... installs those of the given packages that are
# missing.
velmor_install_packages() {
  local missing=() p
  for p in "$@"; do
    # npm also comes from outside Debian; any npm on the path will do.
    [ "$p" = npm ] && command -v npm >/dev/null 2>&1 && continue
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Instalando paquetes: ${missing[*]}"
  local sudo=()
  [ "$(id -u)" -eq 0 ] || sudo=(sudo)
  "${sudo[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
}
