#!/usr/bin/env bash
# Builds and runs every test: the Linux build with warnings as errors, the
# same tests under AddressSanitizer + UndefinedBehaviorSanitizer (LeakSanitizer
# included), the Windows build's end-to-end suite under Wine, and the fuzzers
# for a bounded time; checks what a release ships (a plain build installed
# into a scratch prefix, the manual pages, the Windows zip). Installs what a
# fresh Debian machine lacks (as root, or through sudo).
set -euo pipefail
cd "$(dirname "$0")/.."

# Seconds each fuzz target runs; one place to change it.
FUZZ_SECONDS=${FUZZ_SECONDS:-30}
WINE=/usr/lib/wine/wine64

source scripts/packages.sh
need_command cmake cmake
need_command ninja ninja-build
need_command make make
need_command g++ g++
need_command clang++ clang
need_command soxi sox
need_command x86_64-w64-mingw32-g++ g++-mingw-w64-x86-64
need_command mandoc mandoc
need_command groff groff-base
need_command col bsdextrautils
need_package libgtest-dev
need_package libclang-rt-14-dev
[ -x "$WINE" ] || quill_missing+=(wine wine64)
install_missing

# The one place the version is set.
VERSION=$(sed -n 's/^project(quillfane VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
MESSAGES=src/unpack/messages.h

echo "== Windows build (MinGW-w64, static)"
cmake --preset mingw >/dev/null
cmake --build --preset mingw
cmake --build --preset mingw --target package

echo "== Plain build, no GoogleTest, installed into a scratch prefix"
# What a packager or a user without the presets does.
cmake -S . -B build/plain --no-warn-unused-cli -DCMAKE_DISABLE_FIND_PACKAGE_GTest=ON >/dev/null
grep -q '^CMAKE_BUILD_TYPE:STRING=Release$' build/plain/CMakeCache.txt || { echo "plain build is not Release"; exit 1; }
cmake --build build/plain -j "$(nproc)"
rm -rf build/plain-prefix
cmake --install build/plain --prefix "$PWD/build/plain-prefix" >/dev/null
tests/release/installed_tree.sh "$PWD/build/plain-prefix" "$VERSION" "$MESSAGES"

echo "== Linux build and tests, warnings as errors (Linux and Windows end-to-end suites)"
cmake --preset ci -DQUILL_WINDOWS_EXE="$PWD/build/mingw/quillfane.exe" -DQUILL_WINE="$WINE" >/dev/null
cmake --build --preset ci
# Wine makes its prefix on first use; do it once, before tests run side by side.
WINEPREFIX="$PWD/build/ci/wineprefix" WINEDEBUG=-all "$WINE" wineboot --init >/dev/null 2>&1 || true
ctest --preset ci -j "$(nproc)"
echo "== figures from the run above"
grep -h -E '^(fault sweep|hostile names|update crash sweep|compact crash sweep)' build/ci/Testing/Temporary/LastTest.log | sort -u

echo "== The Windows zip"
tests/release/windows_zip.sh "$PWD/build/mingw/quillfane-$VERSION-win64.zip" "$VERSION" "$WINE" "$PWD/build/ci/wineprefix"

echo "== Tests under AddressSanitizer, UndefinedBehaviorSanitizer and LeakSanitizer"
cmake --preset sanitize >/dev/null
cmake --build --preset sanitize
ctest --preset sanitize -j "$(nproc)"

echo "== Fuzzing, ${FUZZ_SECONDS}s a target"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
for target in list_reader run wav_reader; do
  mkdir -p "build/fuzz/corpus/$target"
  # A crash or a broken check leaves its input under fuzz/regressions/, which
  # the fuzz_replay tests then replay in every build.
  if ! "build/fuzz/fuzz/${target}_fuzz" "build/fuzz/corpus/$target" "fuzz/corpus/$target" \
      -max_total_time="$FUZZ_SECONDS" -artifact_prefix="fuzz/regressions/$target/" -print_final_stats=1 \
      2>"build/fuzz/$target.log"; then
    tail -40 "build/fuzz/$target.log"
    echo "fuzz target $target failed; its reproducer is under fuzz/regressions/$target/"
    exit 1
  fi
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "build/fuzz/$target.log")
  echo "fuzz $target: $runs executions in ${FUZZ_SECONDS}s, no failure"
done
