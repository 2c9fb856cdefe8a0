#!/usr/bin/env bash
# man_pages.sh MESSAGES_H VERSION PAGE...: every page lints clean under both
# mandoc and groff and names the version; quillfane's page holds every
# console message of the tool, byte for byte, none broken across lines.
set -euo pipefail
source "$(dirname "$0")/demo_check.sh"
messages_h=$1 version=$2
shift 2
for page in "$@"; do
  lint=$(mandoc -Tlint -W all "$page" 2>&1) || fail "mandoc -Tlint $page: $lint"
  [ -z "$lint" ] || fail "mandoc -Tlint $page: $lint"
  lint=$(groff -ww -man -Tutf8 -z "$page" 2>&1) || fail "groff $page: $lint"
  [ -z "$lint" ] || fail "groff -ww $page: $lint"
  grep -q "^\.TH .*\"[a-z]* $version\"" "$page" || fail "$page: version $version not in its .TH line"
  if [ "$(basename "$page")" = quillfane.1 ]; then
    rendered=$(mandoc -Tascii -O width=300 "$page" | col -b | sed 's/^ *//')
    checked=0
    while IFS= read -r message; do
      grep -q -F -e "$message" <<<"$rendered" || fail "$page lacks the message line: $message"
      checked=$((checked + 1))
    done < <(sed -n 's/.*std::string_view k\(Usage\|InvalidParameters\|ListNotOpened\|ListEmpty\|ResourceNotOpened\|NoMemory\|InvalidEntry\|EntryNotWritten\|WavNotWritten\|AllDone\) = "\(.*\)";/\2/p' "$messages_h" |
                 sed 's/\\n//g; s/\\"/"/g')
    [ "$checked" -eq 10 ] || fail "read $checked messages from $messages_h, expected 10"
  fi
  echo "man page $(basename "$page"): mandoc and groff lint clean"
done
