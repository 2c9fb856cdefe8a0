# Sourced by the build and test scripts: notes what this machine lacks, then
# installs it with apt-get (as root, or through sudo when there is one). When
# it cannot, it says what is missing and the command that installs it, and
# leaves the reason in one line in $quill_install_error (for a stage table).
quill_missing=()
quill_install_error=""
need_command() { command -v "$1" >/dev/null 2>&1 || quill_missing+=("$2"); }
need_package() { dpkg -s "$1" >/dev/null 2>&1 || quill_missing+=("$1"); }

# quill_cannot_install REASON: says what is missing and how to install it.
quill_cannot_install() {
  local list="${quill_missing[*]}"
  quill_install_error="not installed ($1): $list"
  {
    echo
    echo "$0: this machine lacks ${#quill_missing[@]} Debian packages it needs: $list"
    echo "It could not install them: $1."
    if command -v apt-get >/dev/null 2>&1; then
      echo "Install them as root, then run $0 again:"
      echo
      echo "    apt-get update && apt-get install $list"
      echo
      echo "(or run it as root, or as a user with sudo, and it installs them itself)."
    else
      echo "Install them with this system's package manager (the names above are Debian's), then run $0 again."
    fi
  } >&2
}

# quill_apt STEP COMMAND...: runs apt-get, its progress shown; when it fails,
# its error lines go into the reason.
quill_apt() {
  local step=$1 log status errors
  shift
  log=$(mktemp)
  "$@" 2>&1 | tee "$log"
  status=${PIPESTATUS[0]}
  if ((status != 0)); then
    errors=$(grep -E '^(E: |Err:|sudo: )' "$log" | head -3 | paste -s -d ';' | sed 's/;/; /g' | cut -c1-300)
    rm -f "$log"
    quill_cannot_install "$step failed with status $status${errors:+: $errors}"
    return 1
  fi
  rm -f "$log"
}

install_missing() {
  ((${#quill_missing[@]})) || return 0
  if ! command -v apt-get >/dev/null 2>&1; then
    quill_cannot_install "no apt-get on this system"
    return 1
  fi
  local as_root=() on=""
  if [ "$(id -u)" -ne 0 ]; then
    if ! command -v sudo >/dev/null 2>&1; then
      quill_cannot_install "not root, and no sudo"
      return 1
    fi
    # sudo asks for a password only where someone can type it.
    if ! sudo -n true 2>/dev/null && ! [ -t 0 ]; then
      quill_cannot_install "not root, and sudo wants a password with no terminal to type it in"
      return 1
    fi
    as_root=(sudo) on=" through sudo"
  fi
  # apt's own lines (Get:, Unpacking, Setting up) are the progress: on a fresh
  # machine Wine and MinGW-w64 alone take minutes.
  echo "== installing ${#quill_missing[@]} packages and what they need: ${quill_missing[*]}"
  echo "== apt-get update"
  quill_apt "apt-get update$on" "${as_root[@]}" apt-get update || return 1
  echo "== apt-get install (this can take several minutes)"
  quill_apt "apt-get install$on" "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y "${quill_missing[@]}" ||
    return 1
  quill_missing=()
}
