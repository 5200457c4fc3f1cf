# Installs the Debian packages the build, the tests and the program need, when missing.
# Sourced by run.sh and test.sh.

velmor_packages=(
  cmake ninja-build g++ pkg-config
  qt6-base-dev qt6-translations-l10n
  libsqlite3-dev sqlite3 libicu-dev
  mdbtools mdbtools-dev
  libbenchmark-dev
  fonts-dejavu-core fonts-liberation
)

velmor_install_packages() {
  local wanted=("${velmor_packages[@]}" "$@") missing=() p
  for p in "${wanted[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  if ! command -v npm >/dev/null 2>&1; then
    missing+=(npm)
  fi
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Instalando paquetes: ${missing[*]}"
  local sudo=()
  [ "$(id -u)" -eq 0 ] || sudo=(sudo)
  "${sudo[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
}
