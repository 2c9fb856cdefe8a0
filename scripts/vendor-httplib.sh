#!/usr/bin/env bash
# Remakes third_party/cpp-httplib/ from Debian's source package of cpp-httplib
# (the version libcpp-httplib-dev ships), with Debian's patches applied.
# Debian's binary package splits the library into a declarations header and a
# shared object, which neither the static Linux build nor the MinGW build can
# link; the source package holds the single header both compile.
#
# After Debian's patches come ours, third_party/cpp-httplib/patches/*.patch in
# order (each says at its top what it changes and why): the workbench needs a
# server that bounds what a client without a key can cost (head lines capped
# as they are read, a header count, a deadline for the whole head, bodies
# without a length capped as they arrive, a refusal closing its connection)
# and that binds a numeric address without the resolver, which a static link
# would warn about.
#
#   scripts/vendor-httplib.sh      then review and commit the difference
set -euo pipefail
cd "$(dirname "$0")/.."
PACKAGE=cpp-httplib
VERSION=0.11.4+ds-1+deb12u1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# apt's own client, with a source list of its own in the scratch directory:
# the system's apt configuration is left as it is.
cat >"$work/sources.list" <<'EOF'
deb-src http://deb.debian.org/debian bookworm main
deb-src http://deb.debian.org/debian-security bookworm-security main
EOF
mkdir -p "$work/lists/partial" "$work/cache/archives/partial" "$work/src"
apt_options=(-o "Dir::Etc::SourceList=$work/sources.list" -o Dir::Etc::SourceParts=/dev/null
             -o "Dir::State::Lists=$work/lists" -o "Dir::Cache=$work/cache"
             -o APT::Sandbox::User=root)
apt-get "${apt_options[@]}" update >/dev/null
(cd "$work/src" && apt-get "${apt_options[@]}" source --download-only "$PACKAGE=$VERSION" >/dev/null)

cd "$work/src"
tar xf "${PACKAGE}_${VERSION%%-*}.orig.tar.xz"
tar xf "${PACKAGE}_${VERSION}.debian.tar.xz"
upstream=$(find . -maxdepth 2 -name httplib.h -printf '%h\n')
while read -r patch; do
  [ -n "$patch" ] && patch -s -d "$upstream" -p1 <"debian/patches/$patch"
done <debian/patches/series
cd - >/dev/null
for patch in third_party/cpp-httplib/patches/*.patch; do
  patch -s -d "$work/src/$upstream" -p1 <"$patch"
done
cp "$work/src/$upstream/httplib.h" "$work/src/$upstream/LICENSE" third_party/cpp-httplib/
echo "third_party/cpp-httplib/: httplib.h and LICENSE from Debian's $PACKAGE $VERSION"
