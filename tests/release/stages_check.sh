#!/usr/bin/env bash
# stages_check.sh: the stage runner of scripts/test-all.sh (scripts/stages.sh),
# driven with stages made up here. A failing stage stops at its failing command
# and is named with it, the stages after it still run, one that needs it is
# skipped saying why, notes and skips reach the table, stages not asked for
# are not run, a stage whose commands are missing is skipped naming them and
# how the stage that installs them went (never run into "command not found"),
# and the status is 1 exactly when a stage failed.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/demo_check.sh"
runner=$here/../../scripts/stages.sh
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

# run_stages NAME [ID...]: a script of made-up stages; its output in
# $scratch/NAME.out, its status in $scratch/NAME.status.
run_stages() {
  local name=$1
  shift
  cat >"$scratch/$name.sh" <<EOF
set -uo pipefail
source "$runner"
marks=$scratch/$name.marks
passes() { echo passes >>"\$marks"; }
fails_midway() { echo before >>"\$marks"; false; echo after >>"\$marks"; }
fails_in_function() { inner() { ls "$scratch/no such file" >/dev/null 2>&1; }; inner; echo after-inner >>"\$marks"; }
notes() { stage_note "7 cases"; echo notes >>"\$marks"; }
fails_with_note() { stage_note "2 of 9 failed"; return 1; }
skips() { stage_skip "nothing to do here"; echo after-skip >>"\$marks"; }
needy() { echo needy >>"\$marks"; }
lacks_tools() { stage_require pk quill-no-such-tool bash /quill/no/such/path; echo lacks >>"\$marks"; }
has_tools() { stage_require pk bash /bin/sh; echo has >>"\$marks"; }
stages_select $*
$(cat)
stages_report
EOF
  set +e
  bash "$scratch/$name.sh" >"$scratch/$name.out" 2>&1
  echo $? >"$scratch/$name.status"
  set -e
}

row() { # NAME TITLE: the table's row for a stage, spaces squeezed, its time as 0:00
  # (a stage of a few milliseconds shows 0:01 when it spans a turn of the second).
  sed -n '/^== Stages/,$p' "$scratch/$1.out" | grep "^$2 " | tr -s ' ' | sed -E 's/ [0-9]+:[0-9]{2}( |$)/ 0:00\1/'
}
expect_row() { # NAME TITLE TEXT
  local found
  found=$(row "$1" "$2")
  [ "$found" = "$3" ] || fail "$1: the row of '$2' is '$found', expected '$3'
$(cat "$scratch/$1.out")"
}
expect_marks() { # NAME TEXT
  local found
  found=$(paste -s -d ' ' "$scratch/$1.marks")
  [ "$found" = "$2" ] || fail "$1: the stages did '$found', expected '$2'"
}
expect_status() { # NAME STATUS
  [ "$(cat "$scratch/$1.status")" = "$2" ] || fail "$1: status $(cat "$scratch/$1.status"), expected $2
$(cat "$scratch/$1.out")"
}

run_stages mixed <<'EOF'
run_stage one One "" passes
run_stage two Two "" fails_midway
run_stage three Three "" fails_in_function
run_stage four Four "" notes
run_stage five Five two needy
run_stage six Six "one four" needy
run_stage seven Seven "" fails_with_note
run_stage eight Eight "" skips
run_stage nine Nine eight needy
run_stage ten Ten "" passes
EOF
expect_status mixed 1
# Stages: set -e stops a failing stage at its command; every stage still runs.
expect_marks mixed "passes before notes needy passes"
expect_row mixed One "One passed 0:00"
expect_row mixed Two "Two failed 0:00 at: false (status 1)"
expect_row mixed Three "Three failed 0:00 at: ls \"$scratch/no such file\" > /dev/null 2>&1 (status 2)"
expect_row mixed Four "Four passed 0:00 7 cases"
expect_row mixed Five "Five skipped two failed"
expect_row mixed Six "Six passed 0:00"
expect_row mixed Seven "Seven failed 0:00 2 of 9 failed"
expect_row mixed Eight "Eight skipped 0:00 nothing to do here"
expect_row mixed Nine "Nine skipped eight was skipped"
expect_row mixed Ten "Ten passed 0:00"
grep -q -x '3 of 10 stages failed' "$scratch/mixed.out" || fail "mixed: no count of failed stages
$(cat "$scratch/mixed.out")"

run_stages passing <<'EOF'
run_stage one One "" passes
run_stage two Two one skips
run_stage three Three "" notes
EOF
expect_status passing 0
expect_marks passing "passes notes"
grep -q -x 'no stage failed' "$scratch/passing.out" || fail "passing: does not say no stage failed"

run_stages chosen two three <<'EOF'
run_stage one One "" passes
run_stage two Two "" notes
run_stage three Three one needy
EOF
expect_status chosen 0
# A stage asked for runs on what a stage not asked for left.
expect_marks chosen "notes needy"
expect_row chosen One "One not run not asked for"
expect_row chosen Three "Three passed 0:00"

# What a stage runs is missing: it is skipped with the reason, whatever the
# installing stage did, or fails when that stage passed without installing it.
run_stages tools_failed <<'EOF'
run_stage pk "Packages (made up)" "" fails_with_note
run_stage lacks Lacks "" lacks_tools
run_stage has Has "" has_tools
EOF
expect_status tools_failed 1
expect_marks tools_failed "has"
expect_row tools_failed Packages "Packages (made up) failed 0:00 2 of 9 failed"
expect_row tools_failed Lacks "Lacks skipped 0:00 quill-no-such-tool, /quill/no/such/path missing: the Packages stage failed"
expect_row tools_failed Has "Has passed 0:00"

run_stages tools_not_run lacks <<'EOF'
run_stage pk "Packages (made up)" "" passes
run_stage lacks Lacks "" lacks_tools
EOF
expect_status tools_not_run 0
expect_row tools_not_run Lacks "Lacks skipped 0:00 quill-no-such-tool, /quill/no/such/path missing: the Packages stage was not run (it installs them)"

run_stages tools_passed <<'EOF'
run_stage pk "Packages (made up)" "" passes
run_stage lacks Lacks "" lacks_tools
EOF
expect_status tools_passed 1
expect_marks tools_passed "passes"
expect_row tools_passed Lacks "Lacks failed 0:00 quill-no-such-tool, /quill/no/such/path missing though the Packages stage passed"

echo "stage runner: failures named, later stages run, dependants and stages lacking commands skipped with why, status 1 on a failure"
