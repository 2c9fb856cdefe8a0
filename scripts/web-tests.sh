#!/usr/bin/env bash
# The workbench's tests in a real browser: Debian's Chromium driven by npm's
# playwright-core (installed into the build directory, never a browser of its
# own), against the built quillpack; with a Windows build directory, also
# quillpack.exe under Wine.
#
#   scripts/web-tests.sh BUILD_DIR [MINGW_BUILD_DIR]
# Screenshots go to BUILD_DIR/web-screenshots.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:?usage: scripts/web-tests.sh BUILD_DIR [MINGW_BUILD_DIR]}
windows=${2-}
build=$(cd "$build" && pwd)

source scripts/packages.sh
need_command chromium chromium
need_command node nodejs
need_command npm npm
# Wine hands a browser request to xdg-open (the dropped-list test records it).
need_command xdg-open xdg-utils
install_missing

# Playwright must not fetch a browser of its own.
export PLAYWRIGHT_SKIP_BROWSER_DOWNLOAD=1

# The newest playwright-core whose declared engines take Debian 12's own
# Node.js (18); 1.62 and later want Node 20.
PLAYWRIGHT_VERSION=1.61.1
node_dir=$build/web-node
# What the last install was made with: a Node.js of another version installs
# again, so that npm judges its engine once more.
installed="playwright-core@$PLAYWRIGHT_VERSION node@$(node --version)"
if [ "$(cat "$node_dir/installed" 2>/dev/null)" != "$installed" ]; then
  mkdir -p "$node_dir"
  rm -f "$node_dir/installed"
  # --engine-strict: a package that declares it does not run on this Node.js
  # is an error (EBADENGINE), not a warning followed by tests failing oddly.
  if ! npm install --prefix "$node_dir" --no-audit --no-fund --no-save --engine-strict \
      "playwright-core@$PLAYWRIGHT_VERSION" >"$node_dir/npm.log" 2>&1 || grep -q EBADENGINE "$node_dir/npm.log"; then
    cat "$node_dir/npm.log" >&2
    if grep -q EBADENGINE "$node_dir/npm.log"; then
      echo "web tests: playwright-core $PLAYWRIGHT_VERSION does not declare support for this Node.js ($(node --version)," \
           "$(command -v node)); npm refused it (EBADENGINE, above)" >&2
    else
      echo "web tests: npm could not install playwright-core $PLAYWRIGHT_VERSION (its output above)" >&2
    fi
    exit 1
  fi
  echo "$installed" >"$node_dir/installed"
fi

export QUILL_PACK=$build/quillpack QUILL_UNPACK=$build/quillfane
export QUILL_PLAYWRIGHT=$node_dir QUILL_CHROMIUM=/usr/bin/chromium
export QUILL_SCREENSHOTS=$build/web-screenshots
# Chromium keeps its profile in a home of its own, whoever runs this.
export HOME=$build/web-home
mkdir -p "$HOME"
tests=(tests/web/flow.test.mjs tests/web/gate.test.mjs tests/web/save.test.mjs tests/web/save_property.test.mjs tests/web/page.test.mjs tests/web/history.test.mjs)
if [ -n "$windows" ]; then
  export QUILL_PACK_EXE=$(cd "$windows" && pwd)/quillpack.exe QUILL_WINE=/usr/lib/wine/wine64
  export QUILL_WINEPREFIX=$build/web-wineprefix
  # Wine needs a UTF-8 locale for names past ASCII, whatever the shell has.
  LC_ALL=C.UTF-8 WINEPREFIX=$QUILL_WINEPREFIX WINEDEBUG=-all "$QUILL_WINE" wineboot --init >/dev/null 2>&1 || true
  tests+=(tests/web/wine.test.mjs)
fi
# A hung test fails instead of holding the run: each file's describe() and
# top-level test() carry a {timeout} of their own (Node.js 18 has no
# --test-timeout).
node --test --test-concurrency=1 "${tests[@]}"
