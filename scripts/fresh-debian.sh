#!/usr/bin/env bash
# The README's two commands on a fresh minimal Debian 12, as a newcomer runs
# them: a system made with mmdebstrap (bookworm, minbase: no sudo, no locale),
# the project cloned into it from this repository's committed HEAD, and the
# commands (read from the clone's README.md) run with no locale at all:
#
#   1. as a user without sudo on the fresh system: the first command must
#      fail, naming what is missing and how to install it; the second must
#      fail its Packages stage saying so and skip the stages that need it;
#   2. as root: both commands must pass (they install what they need);
#   3. as that user again, the packages now there: both must pass.
#
# Not part of CI: it downloads about 650 MB and takes most of an hour on two
# cores. Run it as root (mmdebstrap, chroot and mounts); it installs
# mmdebstrap with apt-get when missing. The system stays in WORK_DIR/root for
# a look afterwards (removed by the next run); each command's output is in
# WORK_DIR/logs/. It ends with a table of its stages.
#
#   scripts/fresh-debian.sh [WORK_DIR]     (default build/fresh-debian)
set -uo pipefail
cd "$(dirname "$0")/.."
project=$PWD
work=$(mkdir -p "${1:-build/fresh-debian}" && cd "${1:-build/fresh-debian}" && pwd)
root=$work/root
logs=$work/logs
user=player
# What a login shell has, and no locale.
chroot_path=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin

if [ "$(id -u)" -ne 0 ]; then
  echo "scripts/fresh-debian.sh makes a Debian system with mmdebstrap and runs commands in it with chroot: run it as root" >&2
  exit 2
fi
source scripts/packages.sh
need_command mmdebstrap mmdebstrap
need_command unshare util-linux
install_missing || exit 2

source scripts/stages.sh

# in_chroot WHO COMMAND: COMMAND run by bash as WHO (root or $user) in WHO's
# clone of the project, with a login's PATH and HOME and no locale, and
# /proc, /sys, /dev and a tmpfs /dev/shm (Chromium's) mounted in a mount
# namespace of its own, so that nothing stays mounted when it ends.
in_chroot() {
  local who=$1 command=$2 home=/root
  [ "$who" = root ] || home=/home/$who
  unshare --mount --propagation private -- bash -c '
    set -e
    root=$1; shift
    mount -t proc proc "$root/proc"
    mount -t sysfs sysfs "$root/sys"
    mount --rbind /dev "$root/dev"
    mount -t tmpfs -o mode=1777,nosuid,nodev shm "$root/dev/shm"
    exec chroot "$root" /usr/bin/setpriv --reuid="$1" --regid="$1" --init-groups /usr/bin/env -i "${@:2}"' _ "$root" "$who" \
    PATH="$chroot_path" HOME="$home" USER="$who" LOGNAME="$who" SHELL=/bin/bash \
    bash -c 'cd ~/quillfane && eval "$1"' _ "$command" </dev/null
}

# run_logged NAME WHO COMMAND: in_chroot, its output kept in $logs/NAME.log
# and shown as it comes; its status in $logs/NAME.status. Not through a pipe:
# a process it leaves (a wineserver) would hold the pipe open.
run_logged() {
  local name=$1 pid status=0
  echo "== as $2: $3"
  # There before tail looks: the command's shell may not have made it yet.
  : >"$logs/$name.log"
  # Its failure is for the caller to judge, not the stage's ERR trap.
  (trap - ERR; set +e; in_chroot "$2" "$3") >>"$logs/$name.log" 2>&1 &
  pid=$!
  tail -n +1 -f --pid="$pid" "$logs/$name.log"
  wait "$pid" || status=$?
  echo "$status" >"$logs/$name.status"
  end_leftovers
  echo "== status $(cat "$logs/$name.status")"
}

# Ends what a command left running in the new system (a wineserver, a
# browser), found by the root directory it runs in.
end_leftovers() {
  local link pid
  for link in /proc/[0-9]*/root; do
    [ "$(readlink "$link" 2>/dev/null)" = "$root" ] || continue
    pid=${link#/proc/}
    pid=${pid%/root}
    kill "$pid" 2>/dev/null || true
  done
}
status_of() { cat "$logs/$1.status"; }

make_system() {
  local apt_options=() option
  # This machine's way of reaching the archive (a proxy, date checks) holds
  # for the new system too.
  while read -r option; do
    apt_options+=(--aptopt="$option")
  done < <(apt-config dump | sed -n 's/^\(Acquire::\(http\|https\)::Proxy\|Acquire::Check-Valid-Until\|Acquire::Check-Date\) \(.*\);$/\1 \3;/p')
  rm -rf "$root" "$logs"
  mkdir -p "$logs"
  # So do its own certificate authorities (a proxy that inspects TLS): in
  # the new system's local store, which the ca-certificates package takes in
  # when the test command's packages bring it (npm reaches its registry
  # through them).
  mmdebstrap --variant=minbase "${apt_options[@]}" \
    --customize-hook='mkdir -p "$1/usr/local/share/ca-certificates"; cp -r /usr/local/share/ca-certificates/. "$1/usr/local/share/ca-certificates/" 2>/dev/null || true' \
    --customize-hook='[ -s "$1/etc/hosts" ] || printf "127.0.0.1\tlocalhost\n::1\tlocalhost ip6-localhost ip6-loopback\n" >"$1/etc/hosts"' \
    --customize-hook="chroot \"\$1\" useradd --create-home --shell /bin/bash $user" \
    bookworm "$root" \
    "deb http://deb.debian.org/debian bookworm main" \
    "deb http://deb.debian.org/debian bookworm-updates main" \
    "deb http://deb.debian.org/debian-security bookworm-security main"
  [ ! -e "$root/usr/bin/sudo" ] || { stage_note "the new system has sudo"; return 1; }
  # As a user clones it; the clone holds the committed HEAD only.
  git clone --quiet --no-hardlinks "$project" "$root/root/quillfane"
  git clone --quiet --no-hardlinks "$project" "$root/home/$user/quillfane"
  chroot "$root" chown -R "$user:$user" "/home/$user/quillfane"
  stage_note "bookworm minbase, $(du -sm "$root" | cut -f1) MB, the project at $(git -C "$root/root/quillfane" log -1 --format=%h)"
}

# The README's two commands, from the clone's own README: the first line of
# each of its first two sh blocks.
readme_command() { # N (1 or 2)
  awk -v n="$1" '/^```sh$/ { grab = 1; next } grab { if (++seen == n) { print; exit } grab = 0 }' "$root/root/quillfane/README.md"
}

user_build_refused() {
  run_logged user-build "$user" "$(readme_command 1)"
  local log=$logs/user-build.log word
  [ "$(status_of user-build)" -ne 0 ] || { stage_note "it passed on a system without a compiler"; return 1; }
  # It must name what is missing and the command that installs it.
  for word in cmake ninja-build g++ "apt-get install"; do
    grep -qF -- "$word" "$log" || { stage_note "its output does not say '$word'"; return 1; }
  done
  stage_note "status $(status_of user-build): $(grep -m1 -F 'apt-get install' "$log" | sed 's/^ *//')"
}

user_test_refused() {
  run_logged user-test "$user" "$(readme_command 2)"
  local log=$logs/user-test.log
  [ "$(status_of user-test)" -eq 1 ] || { stage_note "status $(status_of user-test), expected 1"; return 1; }
  ! grep -q 'status 127' "$log" || { stage_note "a stage ran a command that is not there: $(grep -m1 'status 127' "$log")"; return 1; }
  grep -q '^Packages (apt-get) *failed .*not root' "$log" || { stage_note "the Packages row does not say what failed"; return 1; }
  grep -q '^Linux build, warnings as errors *skipped .*missing: the Packages stage failed' "$log" ||
    { stage_note "the Linux build is not skipped for the failed Packages stage"; return 1; }
  stage_note "$(grep -c ' skipped .*the Packages stage failed' "$log") stages skipped for what is missing"
}

# passes NAME WHO N: the README's command N passes as WHO.
passes() {
  run_logged "$1" "$2" "$(readme_command "$3")"
  local status
  status=$(status_of "$1")
  if [ "$status" -ne 0 ]; then
    stage_note "status $status, failed: $(grep -E '^.{20,}  failed ' "$logs/$1.log" | sed 's/  *failed .*//' | paste -s -d ',' || true)"
    return 1
  fi
  if [ "$3" = 1 ]; then
    cmp -s <(head -c 4 "$root/$([ "$2" = root ] && echo root || echo "home/$2")/quillfane/demo/data/CHIRP.WAV") <(printf RIFF) ||
      { stage_note "no demo/data/CHIRP.WAV"; return 1; }
  else
    grep -q -x 'no stage failed' "$logs/$1.log" || { stage_note "no stage table"; return 1; }
  fi
}
root_build() { passes root-build root 1; }
root_test() { passes root-test root 2; }
user_build() {
  # Whatever became of root's tests, its Packages stage is what this needs.
  chroot "$root" dpkg -s chromium wine64 >/dev/null 2>&1 || stage_skip "root's test command installed no packages"
  passes user-build-again "$user" 1
}
user_test() { passes user-test-again "$user" 2; }

run_stage system "A fresh Debian 12 (mmdebstrap)" "" make_system
run_stage user-build "As $user (no sudo), fresh: build.sh must refuse" system user_build_refused
run_stage user-test "As $user (no sudo), fresh: test-all.sh must refuse" system user_test_refused
run_stage root-build "As root: the first README command" system root_build
run_stage root-test "As root: the second README command" root-build root_test
run_stage user-build-again "As $user, packages installed: the first" root-build user_build
run_stage user-test-again "As $user, packages installed: the second" user-build-again user_test

# The test command's own tables, then this run's.
for name in root-test user-test-again; do
  [ -e "$logs/$name.log" ] || continue
  echo
  echo "== $name: the test command's table"
  sed -n '/^== Stages/,$p' "$logs/$name.log"
done
echo
echo "== Node.js in the new system: $(chroot "$root" node --version 2>/dev/null || echo none)," \
  "$(chroot "$root" dpkg-query -W -f '${Package} ${Version}' chromium 2>/dev/null || echo 'no chromium')"
echo "== $(date -u '+%Y-%m-%d %H:%M UTC')"
stages_report
