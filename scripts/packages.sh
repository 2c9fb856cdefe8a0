# Sourced by the build and test scripts: notes what this machine lacks, then
# installs it with apt-get (as root, or through sudo when there is one).
quill_missing=()
need_command() { command -v "$1" >/dev/null 2>&1 || quill_missing+=("$2"); }
need_package() { dpkg -s "$1" >/dev/null 2>&1 || quill_missing+=("$1"); }

install_missing() {
  ((${#quill_missing[@]})) || return 0
  if ! command -v apt-get >/dev/null 2>&1; then
    echo "missing: ${quill_missing[*]} (Debian's names); install them with this system's package manager" >&2
    return 1
  fi
  local as_root=()
  if [ "$(id -u)" -ne 0 ]; then
    if command -v sudo >/dev/null 2>&1; then
      as_root=(sudo)
    else
      echo "missing: ${quill_missing[*]}; run this as root to install them with apt-get" >&2
      return 1
    fi
  fi
  # apt's own lines (Get:, Unpacking, Setting up) are the progress: on a fresh
  # machine Wine and MinGW-w64 alone take minutes.
  echo "== installing ${#quill_missing[@]} packages and what they need: ${quill_missing[*]}"
  echo "== apt-get update"
  "${as_root[@]}" apt-get update
  echo "== apt-get install (this can take several minutes)"
  "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y "${quill_missing[@]}"
  quill_missing=()
}
