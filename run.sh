#!/usr/bin/env bash
# Builds velmor and starts it. The catalogue file velmor.mdb lives beside the
# executable; an empty one is made with velmor-db only when none is there.
set -euo pipefail
cd "$(dirname "$0")"
source scripts/deps.sh
velmor_install_packages

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DVELMOR_BENCHMARKS=OFF
cmake --build build --target velmor velmor-db

exe_dir=build/src
if [ ! -e "$exe_dir/velmor.mdb" ]; then
  build/tools/velmor-db/velmor-db crear "$exe_dir/velmor.mdb"
fi
exec "$exe_dir/velmor" "$@"
