#!/usr/bin/env bash
# The pack tool as installed: `cmake --install` into a temporary prefix gives a tool that finds its
# stub and language files with no environment variable and packs the demo product; the Debian
# package CPack makes holds the tool, the stub and the language files. Exit 77: skipped.
set -euo pipefail
BUILD=$(realpath "$1") SOURCE=$(realpath "$2") STUB=$3
if [ ! -f "$STUB" ]; then echo "skipped: the Windows stub is not built ($STUB)"; exit 77; fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAILED: $*"; exit 1; }

cmake --install "$BUILD" --prefix "$work/prefix" >/dev/null
for f in bin/halberd-pack share/halberd/halberd-setup.exe share/halberd/languages/English.txt share/halberd/languages/German.txt; do
  [ -f "$work/prefix/$f" ] || fail "the installation lacks $f"
done
cmp -s "$STUB" "$work/prefix/share/halberd/halberd-setup.exe" || fail "the installed stub differs from $STUB"

# No environment variable, and a working folder far from the build tree.
cd "$work"
env -u HALBERD_STUB -u HALBERD_LANGUAGES "$work/prefix/bin/halberd-pack" "$SOURCE/examples/demo/product.toml" \
  -o "$work/demo-setup.exe" || fail "the installed tool did not pack the demo"
[ -s "$work/demo-setup.exe" ] || fail "no installer written"
version=$("$work/prefix/bin/halberd-pack" --version)
[[ $version =~ ^halberd-pack\ [0-9]+\.[0-9]+\.[0-9]+\ \(installation\ data\ 48\.0\.11\)$ ]] || fail "--version printed: $version"

if command -v dpkg-deb >/dev/null; then
  (cd "$BUILD" && cpack -G DEB -B "$work/package" >/dev/null) || fail "cpack"
  deb=$(ls "$work"/package/*.deb)
  contents=$(dpkg-deb --contents "$deb")
  for f in ./usr/bin/halberd-pack ./usr/share/halberd/halberd-setup.exe ./usr/share/halberd/languages/English.txt; do
    grep -q " $f\$" <<<"$contents" || fail "the package lacks $f: $contents"
  done
  [ "$(dpkg-deb --field "$deb" Package)" = halberd-pack ] || fail "package name"
fi
echo "ok: installed tool packs the demo; $version; package holds the tool, the stub and the languages"
