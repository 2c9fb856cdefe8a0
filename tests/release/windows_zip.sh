#!/usr/bin/env bash
# windows_zip.sh ZIP VERSION WINE WINEPREFIX: the Windows zip is named for the
# version, holds the two programs, the papers with CR LF line ends and the demo
# archive; its README.txt opens with what a Windows user does, and the first
# commands it gives, run under Wine from the unzipped folder, unpack and list
# the demo it carries.
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
$top/demo/DEMO.RD
$top/demo/DEMO.RES
$top/quillfane.exe
$top/quillpack.exe"
found=$(cmake -E tar tf "$zip" | grep -v '/$' | LC_ALL=C sort)
[ "$found" = "$expected" ] || fail "the zip holds
$found
expected
$expected"

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
(cd "$scratch" && cmake -E tar xf "$zip")
unpacked="$scratch/$top"
for doc in README.txt:packaging/windows/README.txt LICENSE.txt:LICENSE; do
  text="$unpacked/${doc%%:*}" source="$here/../../${doc##*:}"
  # Exactly the source with CR LF for every LF: no bare LF, no doubled or stray CR.
  sed -z 's/\n/\r\n/g' "$source" | cmp -s - "$text" || fail "$text is not $source with CR LF line ends"
done

for name in DEMO.RD DEMO.RES; do
  cmp -s "$demo/$name" "$unpacked/demo/$name" || fail "the zip's demo/$name is not the repository's demo/$name"
done

# README.txt opens (before its list of commands) with what a Windows user
# does: unzip, a command prompt, the tools run with Windows paths, drag and
# drop. Nothing in it is for a Linux shell or a build.
readme=$(tr -d '\r' <"$unpacked/README.txt")
opening=$(sed -n "1,/^quillpack.exe's commands\$/p" <<<"$readme")
[ "$opening" != "$readme" ] || fail "README.txt has no heading quillpack.exe's commands"
for text in "Unzip" "command prompt" "quillfane.exe demo\DEMO.RD -dig2wav" "quillpack.exe list demo\DEMO.RD" \
    "drag a .RD file onto quillpack.exe" "quillfane.exe C:\Games\Quillfane\GAME.RD -dig2wav" \
    "quillpack.exe update C:\Games\Quillfane\GAME.RD -wav2dig" "quillpack.exe extract"; do
  grep -q -i -F -- "$text" <<<"$opening" || fail "README.txt does not open with '$text'"
done
for text in ./scripts/ build.sh cmake sox 'mv ' 'rm -r' apt-get 'data/' '$ '; do
  ! grep -q -F -- "$text" <<<"$readme" || fail "README.txt holds '$text', which is no Windows user's:
$(grep -n -F -- "$text" <<<"$readme")"
done

# Its first two commands, as a user in the unzipped folder types them.
output=$(cd "$unpacked" && "$wine" quillfane.exe 'demo\DEMO.RD' -dig2wav) || fail "quillfane.exe from the zip failed: $output"
grep -q -x $'All done!\r' <<<"$output" || fail "quillfane.exe did not end with All done!: $output"
check_demo_output "$unpacked/demo"
listed=$(cd "$unpacked" && "$wine" quillpack.exe list 'demo\DEMO.RD') || fail "quillpack.exe list demo\DEMO.RD failed: $listed"
for name in README.TXT CHIRP.DIG LEVEL01.MAP; do
  grep -q -F "$name" <<<"$listed" || fail "quillpack.exe list does not show $name: $listed"
done
# A list dropped onto quillpack.exe (its name the only word) opens the
# workbench, a server: tests/web/wine.test.mjs drops one and drives the page.
# Here the drop is a list without its resource, refused for that before any
# server starts, and not as an unknown command.
printf '5 0 A.TXT\r\n' >"$scratch/LONE.RD"
dropped=$(cd "$scratch" && "$wine" "$unpacked/quillpack.exe" LONE.RD </dev/null 2>&1) && status=0 || status=$?
[ "$status" = 3 ] || fail "quillpack.exe LONE.RD (a dropped list without its resource) ended with $status: $dropped"
grep -q -F "LONE.RES: cannot be read" <<<"$dropped" || fail "quillpack.exe LONE.RD does not name LONE.RES: $dropped"
! grep -q -F "unknown command" <<<"$dropped" || fail "quillpack.exe LONE.RD is taken as an unknown command: $dropped"
pack_version=$(cd "$scratch" && "$wine" "$unpacked/quillpack.exe" --version | tr -d '\r') ||
  fail "quillpack.exe --version failed: $pack_version"
[ "$pack_version" = "quillpack $version" ] || fail "quillpack.exe --version says '$pack_version'"
echo "Windows zip $(basename "$zip"): 6 files as expected, CR LF papers, a README.txt for Windows users; its quillfane.exe unpacked and its quillpack.exe listed the demo it carries under Wine"
