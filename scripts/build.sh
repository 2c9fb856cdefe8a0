#!/usr/bin/env bash
# Builds the tools (build/release/quillfane and quillpack), first installing
# CMake, Ninja and a compiler with apt-get when the machine lacks them (as
# root, or through sudo); when it cannot, it names what is missing and the
# command that installs it, and ends with status 1.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/packages.sh
need_command cmake cmake
need_command ninja ninja-build
need_command g++ g++
need_package libxxhash-dev
need_package nlohmann-json3-dev
install_missing
cmake --preset release >/dev/null
cmake --build --preset release
