#!/usr/bin/env bash
# Runs one fuzz target for a number of seconds: scripts/fuzz.sh TARGET SECONDS
# Targets: csvreader valuerules statements catalogfile formsave odsreader. Builds with clang in
# build-fuzz/; new inputs go to build-fuzz/work/TARGET, inputs that found a fault
# to build-fuzz/findings/. Once the fault is mended, copy its input into
# fuzz/corpus/TARGET/ so that every test run replays it.
set -euo pipefail
cd "$(dirname "$0")/.."
if [[ $# -ne 2 || ! -d fuzz/corpus/$1 || ! $2 =~ ^[0-9]+$ ]]; then
  echo "uso: $0 OBJETIVO SEGUNDOS (objetivos: $(ls fuzz/corpus | tr '\n' ' '))" >&2
  exit 2
fi
source scripts/deps.sh
velmor_install_packages "${velmor_build_packages[@]}" clang libclang-rt-14-dev
target=$1
seconds=$2
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_COMPILER=clang++ -DVELMOR_FUZZ=ON -DVELMOR_SANITIZE=ON \
  -DVELMOR_BENCHMARKS=OFF "${launcher[@]}" >/dev/null
cmake --build build-fuzz --target "fuzz_$target"
work=build-fuzz/work/$target
mkdir -p "$work" build-fuzz/findings
# Catalogue files are a few pages; CSV lines and typed values are short; a sheet's
# XML needs room for a few rows.
max_len=4096
[[ $target == catalogfile ]] && max_len=8192
[[ $target == odsreader ]] && max_len=16384
ASAN_OPTIONS=detect_leaks=0 "build-fuzz/fuzz/fuzz_$target" "$work" "fuzz/corpus/$target" \
  -max_total_time="$seconds" -max_len="$max_len" -timeout=10 -rss_limit_mb=2048 \
  -artifact_prefix="build-fuzz/findings/$target-" -print_final_stats=1
