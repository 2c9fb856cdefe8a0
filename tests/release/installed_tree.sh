#!/usr/bin/env bash
# installed_tree.sh PREFIX VERSION MESSAGES_H: what `cmake --install` left
# under PREFIX is exactly the two tools, their pages and papers, and the
# installed tools unpack and read the demo archive.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/demo_check.sh"
prefix=$(cd "$1" && pwd) version=$2 messages_h=$3
top=$(cd "$here/../.." && pwd)
demo=$top/demo

expected="bin/quillfane
bin/quillpack
share/doc/quillfane/LICENSE
share/doc/quillfane/README.md
share/man/man1/quillfane.1
share/man/man1/quillpack.1"
found=$(cd "$prefix" && find . -type f -o -type l | sed 's|^\./||' | LC_ALL=C sort)
[ "$found" = "$expected" ] || fail "installed files differ from what is expected:
$(diff <(echo "$expected") <(echo "$found") || true)"
[ -x "$prefix/bin/quillfane" ] && [ -x "$prefix/bin/quillpack" ] || fail "the tools are not executable"
cmp -s "$top/README.md" "$prefix/share/doc/quillfane/README.md" || fail "the installed README.md is not the repository's"
cmp -s "$top/LICENSE" "$prefix/share/doc/quillfane/LICENSE" || fail "the installed LICENSE is not the repository's"

"$here/man_pages.sh" "$messages_h" "$version" "$prefix"/share/man/man1/*.1

[ "$("$prefix/bin/quillpack" --version)" = "quillpack $version" ] ||
  fail "quillpack --version says '$("$prefix/bin/quillpack" --version)', expected 'quillpack $version'"

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
cp "$demo/DEMO.RD" "$demo/DEMO.RES" "$scratch/"
# Found on PATH from another directory, as a user runs it.
[ "$(PATH="$prefix/bin:$PATH" command -v quillfane)" = "$prefix/bin/quillfane" ] || fail "PATH finds another quillfane"
output=$(cd "$scratch" && PATH="$prefix/bin:$PATH" quillfane DEMO.RD -dig2wav) || fail "installed quillfane failed: $output"
[ "$(tail -n 1 <<<"$output")" = "All done!" ] || fail "installed quillfane did not end with All done!: $output"
check_demo_output "$scratch"
listing=$(cd "$scratch" && PATH="$prefix/bin:$PATH" quillpack list DEMO.RD) || fail "installed quillpack list failed"
grep -q -x 'unpack  *completes' <<<"$listing" || fail "quillpack list: $listing"
update=$(cd "$scratch" && PATH="$prefix/bin:$PATH" quillpack update DEMO.RD -wav2dig) || fail "installed quillpack update failed"
grep -q '^nothing changed' <<<"$update" || fail "quillpack update after a plain unpack changed something: $update"
echo "installed tree under $prefix: $(wc -l <<<"$expected") files as expected; installed quillfane unpacked the demo, quillpack $version read it"
