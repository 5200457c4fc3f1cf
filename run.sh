#!/usr/bin/env bash
# Builds velmor, installs it into the user's own folders (~/.local) and starts the
# installed copy. The catalogue lives in the user's program folder,
# ~/.local/share/velmor/velmor.mdb, never in the build tree; a catalogue left in
# build/src by earlier versions is moved there when that folder has none.
set -euo pipefail
cd "$(dirname "$0")"
source scripts/deps.sh
velmor_install_packages "${velmor_build_packages[@]}" "${velmor_run_packages[@]}"

launcher=()
command -v ccache >/dev/null 2>&1 && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DVELMOR_BENCHMARKS=OFF "${launcher[@]}"
cmake --build build --target velmor velmor-db

prefix=$HOME/.local
# As the launcher does: a relative $XDG_DATA_HOME is no valid setting.
case ${XDG_DATA_HOME:-} in
  /*) folder=$XDG_DATA_HOME/velmor ;;
  *) folder=$HOME/.local/share/velmor ;;
esac
scripts/move-catalogue.sh build/src/velmor.mdb "$folder"
cmake --install build --prefix "$prefix" >/dev/null
echo "velmor instalado en $prefix; catálogo: $folder/velmor.mdb"

# The launcher brings the program into $folder, makes an empty catalogue there
# when there is none, and starts it.
exec "$prefix/bin/velmor" "$@"
