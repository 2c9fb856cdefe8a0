#!/usr/bin/env bash
# Builds and runs every test: the Linux build with warnings as errors, the
# Windows build's end-to-end suite under Wine, the same tests under
# AddressSanitizer + UndefinedBehaviorSanitizer (LeakSanitizer included), and
# the fuzzers for a bounded time; the workbench in Chromium (quillpack.exe's
# too, under Wine); checks what a release ships (a plain build
# installed into a scratch prefix, the manual pages, the Windows zip).
# Installs what a fresh Debian machine lacks (as root, or through sudo).
#
# Every stage runs even when one before it failed (a stage that needs another
# one's output is skipped, saying so); the run ends with a table of stages and
# status 1 if any failed.
#
#   scripts/test-all.sh            every stage
#   scripts/test-all.sh ID...      only these stages (ids: --list)
set -uo pipefail
cd "$(dirname "$0")/.."
source scripts/stages.sh

# Seconds each fuzz target runs; one place to change it.
FUZZ_SECONDS=${FUZZ_SECONDS:-30}
WINE=/usr/lib/wine/wine64
# Wine names Linux files in the locale's character set: under the C locale
# (a shell with no LANG, or LANG=C) it cannot make a file whose name has a
# byte past 0x7F. Every Wine run here gets a UTF-8 locale, whatever the shell
# has; C.UTF-8 is built into Debian's C library.
WINE_LOCALE=C.UTF-8

# The one place the version is set.
VERSION=$(sed -n 's/^project(quillfane VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
MESSAGES=src/unpack/messages.h
ZIP=build/mingw/quillfane-$VERSION-win64.zip

packages() {
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
  need_command chromium chromium
  need_command node nodejs
  need_command npm npm
  need_command xdg-open xdg-utils
  need_command col bsdextrautils
  need_package libgtest-dev
  need_package libxxhash-dev
  need_package nlohmann-json3-dev
  need_package libclang-rt-14-dev
  [ -x "$WINE" ] || quill_missing+=(wine wine64)
  install_missing || { stage_note "$quill_install_error"; return 1; }
}

# uses WHAT...: inside a stage, what it runs (commands, paths, package:NAME);
# any missing skips it, naming what and how the Packages stage went, instead
# of a run that ends in "command not found".
uses() { stage_require packages "$@"; }

stage_table_check() {
  tests/release/stages_check.sh
}

windows_build() {
  uses cmake ninja x86_64-w64-mingw32-g++
  cmake --preset mingw >/dev/null
  cmake --build --preset mingw
  cmake --build --preset mingw --target package
}

plain_install() {
  uses cmake make g++ mandoc groff col soxi
  # What a packager or a user without the presets does.
  cmake -S . -B build/plain --no-warn-unused-cli -DCMAKE_DISABLE_FIND_PACKAGE_GTest=ON >/dev/null
  grep -q '^CMAKE_BUILD_TYPE:STRING=Release$' build/plain/CMakeCache.txt || { stage_note "plain build is not Release"; return 1; }
  cmake --build build/plain -j "$(nproc)"
  rm -rf build/plain-prefix
  cmake --install build/plain --prefix "$PWD/build/plain-prefix" >/dev/null
  tests/release/installed_tree.sh "$PWD/build/plain-prefix" "$VERSION" "$MESSAGES"
}

linux_build() {
  uses cmake ninja g++ package:libgtest-dev
  # The Windows tests are registered here too (they run in their own stage).
  cmake --preset ci -DQUILL_WINDOWS_EXE="$PWD/build/mingw/quillfane.exe" -DQUILL_WINE="$WINE" >/dev/null
  cmake --build --preset ci
}

# run_ctest PRESET ARGS...: ctest, its output kept to say in the table which
# tests failed.
run_ctest() {
  local preset=$1 log=build/$1/test-all-ctest.log
  shift
  if ctest --preset "$preset" -j "$(nproc)" "$@" 2>&1 | tee "$log"; then
    return 0
  fi
  local summary failed
  summary=$(sed -n 's/^.*tests passed, \([0-9]* tests\{0,1\} failed out of [0-9]*\)$/\1/p' "$log")
  failed=$(awk '/^The following tests FAILED:/ { on = 1; next }
               on && $2 == "-" && n < 5 { printf "%s%s", (n++ ? " " : ""), $3 }
               on && $2 == "-" { more++ } END { if (more > n) printf " and %d more", more - n }' "$log")
  stage_note "${summary:-ctest failed}${failed:+: $failed}"
  return 1
}

# figures PATTERN: the figures the tests print, from the ctest run just made.
figures() {
  echo "== figures from the run above"
  grep -h -E "$1" build/ci/Testing/Temporary/LastTest.log | sort -u
}

linux_tests() {
  uses ctest soxi
  run_ctest ci -E '^windows\.'
  # Every crash sweep prints its line: update, compact, add, remove, rename.
  figures '^(fault sweep|hostile names|[a-z]+ crash sweep)'
}

wine_tests() {
  uses ctest "$WINE"
  export LC_ALL=$WINE_LOCALE
  [ "$(locale charmap 2>/dev/null)" = UTF-8 ] || { stage_note "no $WINE_LOCALE locale on this machine"; return 1; }
  # Wine makes its prefix on first use; do it once, before tests run side by side.
  WINEPREFIX="$PWD/build/ci/wineprefix" WINEDEBUG=-all "$WINE" wineboot --init >/dev/null 2>&1 || true
  run_ctest ci -R '^windows\.'
  figures '^hostile names'
}

windows_zip() {
  uses cmake "$WINE" soxi
  export LC_ALL=$WINE_LOCALE
  tests/release/windows_zip.sh "$PWD/$ZIP" "$VERSION" "$WINE" "$PWD/build/ci/wineprefix"
}

web_tests() {
  uses chromium node npm xdg-open "$WINE"
  # The Windows half (quillpack.exe under Wine) needs a UTF-8 locale too.
  local status=0
  LC_ALL=$WINE_LOCALE scripts/web-tests.sh build/ci build/mingw || status=$?
  ((status)) || return 0
  # npm refusing playwright-core for this Node.js is the reason to give.
  if grep -q EBADENGINE build/ci/web-node/npm.log 2>/dev/null; then
    stage_note "npm refused playwright-core for Node.js $(node --version) (EBADENGINE): see build/ci/web-node/npm.log"
  else
    stage_note "at: scripts/web-tests.sh build/ci build/mingw (status $status)"
  fi
  return 1
}

sanitize() {
  uses cmake ninja clang++ package:libclang-rt-14-dev package:libgtest-dev
  cmake --preset sanitize >/dev/null
  cmake --build --preset sanitize
  run_ctest sanitize
}

fuzz() {
  ((FUZZ_SECONDS > 0)) || stage_skip "FUZZ_SECONDS=$FUZZ_SECONDS"
  uses cmake ninja clang++ package:libclang-rt-14-dev
  cmake --preset fuzz >/dev/null
  cmake --build --preset fuzz
  local target runs failed=()
  for target in list_reader run wav_reader; do
    mkdir -p "build/fuzz/corpus/$target"
    # A crash or a broken check leaves its input under fuzz/regressions/, which
    # the fuzz_replay tests then replay in every build.
    if ! "build/fuzz/fuzz/${target}_fuzz" "build/fuzz/corpus/$target" "fuzz/corpus/$target" \
        -max_total_time="$FUZZ_SECONDS" -artifact_prefix="fuzz/regressions/$target/" -print_final_stats=1 \
        2>"build/fuzz/$target.log"; then
      tail -40 "build/fuzz/$target.log"
      echo "fuzz target $target failed; its reproducer is under fuzz/regressions/$target/"
      failed+=("$target")
      continue
    fi
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "build/fuzz/$target.log")
    echo "fuzz $target: $runs executions in ${FUZZ_SECONDS}s, no failure"
  done
  if ((${#failed[@]})); then
    stage_note "failed: ${failed[*]} (reproducers under fuzz/regressions/)"
    return 1
  fi
}

stages=(
  "packages|Packages (apt-get)||packages"
  "table|Stage table check||stage_table_check"
  "windows|Windows build and zip (MinGW-w64)||windows_build"
  "plain|Plain build, installed into a scratch prefix||plain_install"
  "linux-build|Linux build, warnings as errors||linux_build"
  "linux|Linux tests|linux-build|linux_tests"
  "wine|Windows tests under Wine|windows linux-build|wine_tests"
  "zip|The Windows zip under Wine|windows|windows_zip"
  "web|Workbench in Chromium (and quillpack.exe under Wine)|linux-build windows|web_tests"
  "sanitize|Tests under ASan, UBSan and LSan||sanitize"
  "fuzz|Fuzzing, ${FUZZ_SECONDS}s a target||fuzz"
)

if [ "${1-}" = --list ]; then
  for stage in "${stages[@]}"; do IFS='|' read -r id title _ <<<"$stage"; printf '%-12s %s\n' "$id" "$title"; done
  exit 0
fi
for wanted in "$@"; do
  printf '%s\n' "${stages[@]}" | grep -q "^$wanted|" || { echo "no stage '$wanted'; stages: $0 --list" >&2; exit 2; }
done
stages_select "$@"

for stage in "${stages[@]}"; do
  IFS='|' read -r id title needs fn <<<"$stage"
  run_stage "$id" "$title" "$needs" "$fn"
done
stages_report
