#!/usr/bin/env bash
# Builds everything with AddressSanitizer and UndefinedBehaviorSanitizer and runs
# every test through CTest. The benchmarks are built too when asked:
#   VELMOR_BENCHMARKS=ON ./test.sh
# Without network the test data fetched from the npm registry is missing; the
# fetch is then reported as skipped and the cases that need it skip themselves.
set -euo pipefail
cd "$(dirname "$0")"
source scripts/deps.sh
velmor_install_packages "${velmor_build_packages[@]}" "${velmor_run_packages[@]}" \
  "${velmor_test_packages[@]}"

launcher=()
command -v ccache >/dev/null 2>&1 && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake -S . -B build-test -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELMOR_SANITIZE=ON \
  -DVELMOR_BENCHMARKS="${VELMOR_BENCHMARKS:-OFF}" "${launcher[@]}"
cmake --build build-test -j"$(nproc)"
status=0
QT_QPA_PLATFORM=offscreen ctest --test-dir build-test --output-on-failure -j"$(nproc)" || status=$?
# CTest names skipped tests but not why; the reasons are in its log.
grep -h -e '^SKIPPED:' -e '^SKIP   :' build-test/Testing/Temporary/LastTest.log 2>/dev/null || true
exit $status
