#!/usr/bin/env bash
# Builds the Debian packages into OUT (default build-deb/) from a copy of the
# source tree in OUT/src, so the tree itself stays clean, and runs lintian on
# them. The build runs with Debian's own tools on the PATH (not a Python of
# pyenv or a virtualenv), without debug-symbol packages.
#
#   scripts/build-deb.sh [OUT]
#
# With QUARVEL_DEB_VERSION=V, the packages of the last build are made again
# under the version V (a changelog entry added to the copy only, for the
# upgrade test) into OUT/V/, reusing the compiled tree.
set -euo pipefail
cd "$(dirname "$0")/.."
top=$PWD
out=$(realpath -m "${1:-build-deb}")
src=$out/src/quarvel
jobs=${JOBS:-2}
export PATH=/usr/sbin:/usr/bin:/sbin:/bin
export DEB_BUILD_OPTIONS="parallel=$jobs noautodbgsym"
unset PYTHONPATH VIRTUAL_ENV

build() {  # build DIR: dpkg-buildpackage in the copy, packages moved to DIR
  local dest=$1; shift
  rm -f "$src/debian/files"
  (cd "$src" && dpkg-buildpackage -us -uc -b "$@")
  mkdir -p "$dest"
  rm -f "$dest"/*.deb
  mv "$out"/src/*.deb "$dest"/
  rm -f "$out"/src/*.changes "$out"/src/*.buildinfo
}

if [ -n "${QUARVEL_DEB_VERSION:-}" ]; then
  [ -d "$src/debian" ] || { echo "build-deb: no earlier build in $src" >&2; exit 2; }
  cp "$src/debian/changelog" "$out/src/changelog.orig"
  trap 'mv "$out/src/changelog.orig" "$src/debian/changelog"' EXIT
  { printf 'quarvel (%s) unstable; urgency=medium\n\n  * Rebuilt for the upgrade test.\n\n' "$QUARVEL_DEB_VERSION"
    printf ' -- Quarvel developers <quarvel@tovo.org>  %s\n\n' "$(date -R)"
    cat "$out/src/changelog.orig"; } > "$src/debian/changelog"
  build "$out/$QUARVEL_DEB_VERSION" -nc
  exit 0
fi

# The copy: every file git knows or would add (untracked but not ignored),
# so local edits are packaged too; the build folders are left out.
rm -rf "$out/src"
mkdir -p "$src"
if git -C "$top" rev-parse --git-dir >/dev/null 2>&1; then
  git -C "$top" ls-files -z --cached --others --exclude-standard |
    (cd "$top" && xargs -0 sh -c 'for f; do [ -e "$f" ] && printf "%s\0" "$f"; done' sh) |
    tar -C "$top" --null -T - -cf - | tar -C "$src" -xf -
else
  tar -C "$top" --exclude='./build*' -cf - . | tar -C "$src" -xf -
fi
build "$out"

echo "=== lintian"
lintian --fail-on error,warning --pedantic --display-info "$out"/*.deb
ls -l "$out"/*.deb
