#!/usr/bin/env bash
# man_pages.sh MESSAGES_H VERSION PAGE...: every page lints clean under both
# mandoc and groff and names the version; quillfane's page holds every text
# the tool prints (banner, usage, messages, option), byte for byte, none
# broken across lines.
set -euo pipefail
source "$(dirname "$0")/demo_check.sh"
messages_h=$1 version=$2
shift 2
for page in "$@"; do
  lint=$(mandoc -Tlint -W all "$page" 2>&1) || fail "mandoc -Tlint $page: $lint"
  [ -z "$lint" ] || fail "mandoc -Tlint $page: $lint"
  lint=$(groff -ww -man -Tutf8 -z "$page" 2>&1) || fail "groff $page: $lint"
  [ -z "$lint" ] || fail "groff -ww $page: $lint"
  grep '^\.TH ' "$page" | grep -q -F "\"quillfane $version\"" || fail "$page: its .TH line does not say quillfane $version"
  if [ "$(basename "$page")" = quillfane.1 ]; then
    rendered=$(mandoc -Tascii -O width=300 "$page" | col -b)
    # Every text the tool prints (each constant of messages.h), whole.
    declared=$(grep -c 'std::string_view k[A-Za-z0-9_]* = "' "$messages_h")
    checked=0
    while IFS= read -r message; do
      grep -q -F -e "$message" <<<"$rendered" || fail "$page lacks the tool's text: $message"
      checked=$((checked + 1))
    done < <(sed -n 's/.*std::string_view k[A-Za-z0-9_]* = "\(.*\)";$/\1/p' "$messages_h" | sed 's/\\n//g; s/\\"/"/g')
    [ "$declared" -gt 0 ] && [ "$checked" -eq "$declared" ] ||
      fail "read $checked of the $declared texts of $messages_h"
  fi
  echo "man page $(basename "$page"): mandoc and groff lint clean"
done
