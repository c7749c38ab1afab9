#!/usr/bin/env bash
# Brings a fresh Debian 12 machine to the state the build and the tests need.
# Idempotent: every step first checks whether its work is already done, and says what it does.
#   - Debian packages: MinGW-w64 (i686), Wine with its 32-bit half, Xvfb, CMake, clang, zlib, liblzma
#   - liblzma cross-built for MinGW from Debian's xz-utils source (the decoders alone), cached under
#     $HALBERD_DEPS
#   - Wine prefixes for the tests under $HALBERD_WINEPREFIX and $HALBERD_WINEPREFIX32
#   - where this machine runs no 32-bit code: QEMU and the kit of an emulated test machine (scripts/vm)
set -euo pipefail
HERE=$(cd "$(dirname "$0")" && pwd)

DEPS=${HALBERD_DEPS:-/opt/halberd-deps}
WINEPREFIX_DIR=${HALBERD_WINEPREFIX:-/opt/halberd-deps/wineprefix}
WINEPREFIX32_DIR=${HALBERD_WINEPREFIX32:-/opt/halberd-deps/wineprefix32}
SUDO=""
[ "$(id -u)" = 0 ] || SUDO=sudo

step() { printf '[setup] %s\n' "$*"; }
fail() { printf '[setup] FAILED: %s\n' "$*" >&2; exit 1; }

PACKAGES=(
  build-essential cmake ninja-build pkg-config git python3 python3-pytest
  g++-mingw-w64-i686 gcc-mingw-w64-i686 binutils-mingw-w64-i686 mingw-w64-tools
  libz-mingw-w64-dev zlib1g-dev liblzma-dev xz-utils libtomlplusplus-dev
  googletest libgtest-dev
  clang libclang-rt-14-dev llvm
  wine wine32:i386 wine64 xvfb xauth
  dpkg-dev
  nsis ccache
  osslsigncode openssl
  wixl wine64-tools fonts-dejavu-core
)

# Where this machine runs no 32-bit code, the test machine's emulator and the busybox of its RAM disk.
NO_32BIT=$(bash "$HERE/can-run-32bit.sh") || PACKAGES+=(qemu-system-x86 busybox-static)

# Inside the test machine only the Wine prefixes are made (everything else is the host's).
if [ -z "${HALBERD_SETUP_PREFIXES_ONLY:-}" ]; then

# 1. Debian packages -------------------------------------------------------------------------------
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  step "adding the i386 architecture (needed by wine32)"
  $SUDO dpkg --add-architecture i386 || fail "dpkg --add-architecture i386"
  NEED_UPDATE=1
fi
if ! grep -rqs '^Types: deb-src' /etc/apt/sources.list.d/ ; then
  step "adding deb-src entries (to fetch Debian's xz-utils source)"
  if [ -f /etc/apt/sources.list.d/debian.sources ]; then
    sed 's/^Types: deb$/Types: deb-src/' /etc/apt/sources.list.d/debian.sources \
      | $SUDO tee /etc/apt/sources.list.d/halberd-src.sources >/dev/null || fail "writing deb-src sources"
  else
    grep '^deb ' /etc/apt/sources.list | sed 's/^deb /deb-src /' \
      | $SUDO tee /etc/apt/sources.list.d/halberd-src.list >/dev/null || fail "writing deb-src sources"
  fi
  NEED_UPDATE=1
fi
missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  step "installing Debian packages: ${missing[*]}"
  $SUDO apt-get update -q || fail "apt-get update"
  NEED_UPDATE=0
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q --no-install-recommends "${missing[@]}" \
    || fail "apt-get install ${missing[*]}"
else
  step "Debian packages: all present"
fi
if [ "${NEED_UPDATE:-0}" = 1 ]; then $SUDO apt-get update -q || fail "apt-get update"; fi

# 2. liblzma for MinGW, from Debian's xz-utils source ---------------------------------------------
# The installer only unpacks what the pack tool made (LZMA2, optionally behind the x86 filter, with
# a CRC-32 check), so only those decoders are built: no encoders, match finders, other filters or
# checks. -O2, not -Os: decompression is the installer's hot path.
XZ_VERSION=$(apt-cache showsrc xz-utils 2>/dev/null | awk '/^Version:/{print $2; exit}')
[ -n "$XZ_VERSION" ] || XZ_VERSION=$(dpkg-query -W -f='${Version}' liblzma-dev 2>/dev/null)
[ -n "$XZ_VERSION" ] || fail "cannot tell the xz-utils version (is deb-src configured?)"
LZMA_PREFIX="$DEPS/mingw-liblzma-decoder"
if [ -f "$LZMA_PREFIX/lib/liblzma.a" ] && [ "$(cat "$LZMA_PREFIX/VERSION" 2>/dev/null)" = "$XZ_VERSION" ]; then
  step "liblzma for MinGW $XZ_VERSION: cached in $LZMA_PREFIX"
else
  step "building liblzma for MinGW from xz-utils $XZ_VERSION into $LZMA_PREFIX"
  work=$(mktemp -d); trap 'rm -rf "$work"' EXIT
  chmod 777 "$work"
  ( cd "$work" && apt-get source -q --download-only "xz-utils=$XZ_VERSION" >/dev/null 2>&1 ) \
    || fail "apt-get source xz-utils=$XZ_VERSION"
  orig=$(ls "$work"/xz-utils_*.orig.tar.* | grep -v '\.asc$' | head -n1)
  tar -C "$work" -xf "$orig" || fail "unpacking xz-utils source"
  src=$(find "$work" -maxdepth 1 -type d -name 'xz-*' | head -n1)
  [ -n "$src" ] || fail "no xz source folder"
  rm -rf "$LZMA_PREFIX"
  ( cd "$src" && ./configure -q --host=i686-w64-mingw32 --prefix="$LZMA_PREFIX" \
      --enable-static --disable-shared --disable-xz --disable-xzdec --disable-lzmadec \
      --disable-lzmainfo --disable-scripts --disable-doc --disable-nls \
      --disable-encoders --enable-decoders=lzma1,lzma2,x86 --enable-checks=crc32 \
      --disable-microlzma --disable-lzip-decoder \
      CC=i686-w64-mingw32-gcc-posix CFLAGS="-O2 -ffunction-sections -fdata-sections" >/dev/null \
    && make -s -j"$(nproc)" >/dev/null && make -s install >/dev/null ) \
    || fail "building liblzma for MinGW"
  echo "$XZ_VERSION" > "$LZMA_PREFIX/VERSION"
  rm -rf "$work"; trap - EXIT
  step "liblzma for MinGW built"
fi

fi

# 3. Wine prefixes for the tests -------------------------------------------------------------------
# The tests run in copies of two templates: a 64-bit Windows (the usual case: both registry views,
# WOW64 file-system redirection, "Program Files (x86)") and a 32-bit one for the 32-bit-Windows
# cases. A template of the wrong kind, or a 64-bit one without its 32-bit half (made where no
# 32-bit code ran), is made again.
prefix_ok() {  # $1: folder, $2: win32 or win64
  grep -qs "^#arch=$2" "$1/system.reg" || return 1
  [ "$2" = win32 ] || [ -f "$1/drive_c/windows/syswow64/kernel32.dll" ]
}
make_prefix() {
  local dir=$1 arch=$2 loader=wine tmp
  [ "$arch" = win64 ] && loader=/usr/lib/wine/wine64
  if prefix_ok "$dir" "$arch"; then
    step "Wine prefix ($arch): present at $dir"
    return
  fi
  step "creating the $arch Wine prefix at $dir"
  # Made in a local temporary folder (the dependency folder may be a shared one), then copied.
  tmp=$(mktemp -d)
  WINEARCH=$arch WINEPREFIX="$tmp" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" "$loader" wineboot -i \
    >/dev/null 2>&1 || fail "wineboot -i ($arch)"
  WINEPREFIX="$tmp" wineserver -w || true
  prefix_ok "$tmp" "$arch" || fail "Wine prefix ($arch) not created"
  rm -rf "$dir" "$dir.new" && cp -a "$tmp" "$dir.new" && mv "$dir.new" "$dir" && rm -rf "$tmp" \
    || fail "copying the Wine prefix into place"
}
if [ -z "$NO_32BIT" ]; then
  make_prefix "$WINEPREFIX_DIR" win64
  make_prefix "$WINEPREFIX32_DIR" win32
else
  # No 32-bit code runs here: the Windows suites run in an emulated test machine whose kernel runs
  # it (scripts/vm), and the prefixes are made there.
  step "$NO_32BIT: the Windows suites will run in an emulated test machine"
  bash "$HERE/vm/build-kit.sh" "$DEPS/vm" >/dev/null || fail "building the test machine kit"
  if prefix_ok "$WINEPREFIX_DIR" win64 && prefix_ok "$WINEPREFIX32_DIR" win32; then
    step "Wine prefixes: present"
  else
    step "making the Wine prefixes in the test machine (a few minutes)"
    (cd "$HERE/.." && HALBERD_SETUP_PREFIXES_ONLY=1 bash scripts/vm/run.sh bash scripts/setup.sh) \
      || fail "making the Wine prefixes in the test machine"
  fi
fi
step "done"
