#!/usr/bin/env bash
# windows_zip.sh ZIP VERSION WINE WINEPREFIX: the Windows zip is named for the
# version, holds the two programs and the papers with CR LF line ends, and the
# quillfane.exe unpacked from it unpacks the demo archive under Wine.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/demo_check.sh"
zip=$1 version=$2 wine=$3
export WINEPREFIX=$4 WINEDEBUG=-all
demo=$(cd "$here/../../demo" && pwd)
top=quillfane-$version-win64

[ "$(basename "$zip")" = "$top.zip" ] || fail "the zip is called $(basename "$zip"), expected $top.zip"
expected="$top/LICENSE.txt
$top/README.txt
$top/quillfane.exe
$top/quillpack.exe"
found=$(cmake -E tar tf "$zip" | LC_ALL=C sort)
[ "$found" = "$expected" ] || fail "the zip holds
$found
expected
$expected"

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
(cd "$scratch" && cmake -E tar xf "$zip")
unpacked="$scratch/$top"
for doc in README.txt:README.md LICENSE.txt:LICENSE; do
  text="$unpacked/${doc%%:*}" source="$here/../../${doc##*:}"
  # Exactly the source with CR LF for every LF: no bare LF, no doubled or stray CR.
  sed -z 's/\n/\r\n/g' "$source" | cmp -s - "$text" || fail "$text is not $source with CR LF line ends"
done

cp "$demo/DEMO.RD" "$demo/DEMO.RES" "$scratch/"
output=$(cd "$scratch" && "$wine" "$unpacked/quillfane.exe" DEMO.RD -dig2wav) || fail "quillfane.exe from the zip failed: $output"
grep -q -x $'All done!\r' <<<"$output" || fail "quillfane.exe did not end with All done!: $output"
check_demo_output "$scratch"
pack_version=$(cd "$scratch" && "$wine" "$unpacked/quillpack.exe" --version | tr -d '\r') ||
  fail "quillpack.exe --version failed: $pack_version"
[ "$pack_version" = "quillpack $version" ] || fail "quillpack.exe --version says '$pack_version'"
echo "Windows zip $(basename "$zip"): 4 files as expected, CR LF papers; its quillfane.exe unpacked the demo under Wine"
