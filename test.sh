#!/usr/bin/env bash
# Builds and runs the tests. Without options: the normal build in build/normal.
#   --sanitize  AddressSanitizer + UndefinedBehaviorSanitizer build (clang) in build/sanitize,
#               including the fuzz targets, which run a fixed number of times on their corpus
#   --tsan      ThreadSanitizer build (clang) in build/tsan
#   --coverage  gcov build in build/coverage; after the tests, product line coverage per layer
#   -R REGEX    only the tests whose name matches (passed to ctest)
#   --package   build the Debian package catalix_*.deb in build/normal and test it
set -euo pipefail
cd "$(dirname "$0")"

mode=normal
ctest_args=()
while (($#)); do
  case "$1" in
    --sanitize) mode=sanitize ;;
    --tsan) mode=tsan ;;
    --coverage) mode=coverage ;;
    --package) exec scripts/package.sh build/normal ;;
    -R) ctest_args+=(-R "$2"); shift ;;
    -h|--help) sed -n '2,8p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "test.sh: unknown option '$1' (see --help)" >&2; exit 2 ;;
  esac
  shift
done

scripts/install-deps.sh

build=build/$mode
cmake_args=(-G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo)
case "$mode" in
  sanitize) cmake_args+=(-DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++
                         -DCX_SANITIZE=ON -DCX_FUZZ=ON -DCX_BENCH=OFF) ;;
  tsan)     cmake_args+=(-DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++
                         -DCX_TSAN=ON -DCX_BENCH=OFF) ;;
  coverage) cmake_args=(-G Ninja -DCMAKE_BUILD_TYPE=Debug -DCX_COVERAGE=ON -DCX_BENCH=OFF) ;;
esac

cmake -S . -B "$build" "${cmake_args[@]}" >/dev/null
cmake --build "$build" -j "$(nproc)"

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
export TSAN_OPTIONS=${TSAN_OPTIONS:-halt_on_error=1:second_deadlock_stack=1}
if [[ $mode != coverage ]]; then
  exec ctest --test-dir "$build" --output-on-failure -j2 "${ctest_args[@]}"
fi
# Counts from an earlier run would mix into this one.
find "$build" -name '*.gcda' -delete
status=0
ctest --test-dir "$build" --output-on-failure -j2 "${ctest_args[@]}" || status=$?
scripts/coverage-summary "$build"
exit $status
