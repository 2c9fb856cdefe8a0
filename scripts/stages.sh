# Sourced by scripts/test-all.sh: runs stages one after another so that a
# failing stage hides none of the others, then prints a table of them all.
#
#   stages_select [ID...]        which stages to run (none named: all of them)
#   run_stage ID TITLE NEEDS FN  runs FN in a subshell under `set -eEuo pipefail`;
#                                NEEDS (ids, space-separated) must have passed
#                                or not been asked for (their output is then
#                                taken as it stands), or the stage is skipped
#                                saying which did not
#   stage_note TEXT              inside a stage: what the table says beside it
#   stage_skip REASON            inside a stage: end it as skipped, with why
#   stage_require ID WHAT...     inside a stage: skip it unless each WHAT is
#                                there (a command, an absolute path, or
#                                package:NAME for a Debian package), saying
#                                what is missing and what stage ID, which
#                                installs them, did ("cmake missing: the
#                                Packages stage failed"); missing after ID
#                                passed, the stage fails
#   stages_report                prints the table; returns 1 if a stage failed
#
# A stage fails when FN returns non-zero or any command in it fails; without
# a note of its own, the table names that command and its status.

stage_ids=() stage_titles=() stage_results=() stage_notes=() stage_times=()
stage_wanted=()
stage_scratch=$(mktemp -d)
trap 'rm -rf "$stage_scratch"' EXIT

stages_select() { stage_wanted=("$@"); }

stage_result() { # ID: passed, failed, skipped, "not run" (not asked for), or nothing before it
  local i
  for i in "${!stage_ids[@]}"; do
    [ "${stage_ids[$i]}" = "$1" ] && { echo "${stage_results[$i]}"; return; }
  done
}

stage_note() { printf '%s\n' "$*" >>"$stage_scratch/note"; }
stage_skip() { printf '%s\n' "$*" >"$stage_scratch/skip"; exit 0; }

stage_title() { # ID: its title without a parenthesis
  local i
  for i in "${!stage_ids[@]}"; do
    [ "${stage_ids[$i]}" = "$1" ] && { echo "${stage_titles[$i]%% (*}"; return; }
  done
  echo "$1"
}

stage_require() {
  local provider=$1 what missing=() list
  shift
  for what in "$@"; do
    case $what in
      package:*) dpkg -s "${what#package:}" >/dev/null 2>&1 || missing+=("${what#package:}") ;;
      /*) [ -e "$what" ] || missing+=("$what") ;;
      *) command -v "$what" >/dev/null 2>&1 || missing+=("$what") ;;
    esac
  done
  ((${#missing[@]})) || return 0
  list=$(printf '%s, ' "${missing[@]}")
  list=${list%, }
  case $(stage_result "$provider") in
    failed) stage_skip "$list missing: the $(stage_title "$provider") stage failed" ;;
    skipped) stage_skip "$list missing: the $(stage_title "$provider") stage was skipped" ;;
    passed) stage_note "$list missing though the $(stage_title "$provider") stage passed"; exit 1 ;;
    *) stage_skip "$list missing: the $(stage_title "$provider") stage was not run (it installs them)" ;;
  esac
}

# The first failing command is the one to name: the trap runs again at every
# level the failure leaves, each time with a less precise command.
stage_trap() {
  [ -e "$stage_scratch/failed_at" ] || printf '%s (status %s)\n' "$1" "$2" >"$stage_scratch/failed_at"
}

stage_record() { # ID TITLE RESULT NOTE SECONDS
  stage_ids+=("$1") stage_titles+=("$2") stage_results+=("$3") stage_notes+=("$4") stage_times+=("$5")
}

run_stage() {
  local id=$1 title=$2 needs=$3 fn=$4 need result status start
  if ((${#stage_wanted[@]})) && [[ " ${stage_wanted[*]} " != *" $id "* ]]; then
    stage_record "$id" "$title" "not run" "not asked for" ""
    return 0
  fi
  for need in $needs; do
    result=$(stage_result "$need")
    if [ "$result" != passed ] && [ "$result" != "not run" ]; then
      case $result in
        failed) result="$need failed" ;;
        skipped) result="$need was skipped" ;;
        *) result="$need did not run" ;;
      esac
      echo
      echo "== $title: skipped, $result"
      stage_record "$id" "$title" skipped "$result" ""
      return 0
    fi
  done
  echo
  echo "== $title"
  rm -f "$stage_scratch/note" "$stage_scratch/skip" "$stage_scratch/failed_at"
  start=$SECONDS
  # Not in an `if` or after `||`: there bash would ignore set -e inside.
  (
    set -eEuo pipefail
    trap 'stage_trap "$BASH_COMMAND" "$?"' ERR
    "$fn"
  )
  status=$?
  local note="" seconds=$((SECONDS - start))
  [ -e "$stage_scratch/note" ] && note=$(paste -s -d ';' "$stage_scratch/note" | sed 's/;/; /g')
  if ((status != 0)); then
    [ -n "$note" ] || note="at: $(cat "$stage_scratch/failed_at" 2>/dev/null || echo "status $status")"
    stage_record "$id" "$title" failed "$note" "$seconds"
    echo "== $title: FAILED, $note"
  elif [ -e "$stage_scratch/skip" ]; then
    stage_record "$id" "$title" skipped "$(cat "$stage_scratch/skip")" "$seconds"
    echo "== $title: skipped, $(cat "$stage_scratch/skip")"
  else
    stage_record "$id" "$title" passed "$note" "$seconds"
  fi
  return 0
}

stage_clock() { # SECONDS as M:SS, nothing for a stage that did not run
  [ -n "$1" ] && printf '%d:%02d' $(($1 / 60)) $(($1 % 60))
}

stages_report() {
  local i failed=0 total=0 width=5
  for i in "${!stage_ids[@]}"; do
    ((${#stage_titles[$i]} > width)) && width=${#stage_titles[$i]}
    total=$((total + ${stage_times[$i]:-0}))
  done
  echo
  echo "== Stages ($(stage_clock "$total") in all)"
  printf '%-*s  %-7s  %6s  %s\n' "$width" stage result time why
  for i in "${!stage_ids[@]}"; do
    [ "${stage_results[$i]}" = failed ] && failed=$((failed + 1))
    printf '%-*s  %-7s  %6s  %s\n' "$width" "${stage_titles[$i]}" "${stage_results[$i]}" \
      "$(stage_clock "${stage_times[$i]}")" "${stage_notes[$i]}" | sed 's/ *$//'
  done
  if ((failed)); then
    echo "$failed of ${#stage_ids[@]} stages failed"
    return 1
  fi
  echo "no stage failed"
}
