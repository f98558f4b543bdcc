#!/usr/bin/env bash
# Prepares a Debian 12 machine (as root) for every build and test of this project:
#   - the Debian packages the builds and tests use (only the missing ones are installed),
#   - the zh_CN.UTF-8 locale the Windows programs run under,
#   - where the kernel runs no 32-bit programs, qemu-i386 registered with binfmt_misc, so the
#     portable core's 32-bit (-m32) unit tests run on every machine,
#   - liblzma, liblzo2, libsodium, libzstd and libcurl (Schannel) cross-built as static libraries
#     for both MinGW targets from Debian's source packages, into ${UPDATER_DEPS_DIR:-/var/cache/kvo-updater-deps}.
# Safe to re-run: a machine that has everything is checked in a few seconds.
set -euo pipefail

DEPS_DIR=${UPDATER_DEPS_DIR:-/var/cache/kvo-updater-deps}
TRIPLETS=(i686-w64-mingw32 x86_64-w64-mingw32)
JOBS=${UPDATER_JOBS:-2}
LOCALE_NAME=zh_CN.UTF-8
DEB_SRC_LIST=/etc/apt/sources.list.d/kvo-updater-deb-src.sources
DEB_SOURCES=/etc/apt/sources.list.d/debian.sources

PACKAGES=(
  # compilers and build tools
  g++ make cmake ninja-build pkg-config dpkg-dev ccache
  # sources shipped without a configure script (libsodium) are prepared with autoreconf
  autoconf automake libtool
  g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix
  clang libclang-rt-14-dev
  # libraries: host and MinGW zlib, host liblzma/liblzo2/libsodium/libzstd (the MinGW ones are
  # built below)
  zlib1g-dev libz-mingw-w64-dev liblzma-dev liblzo2-dev libsodium-dev libzstd-dev
  # the HTTP(S) transport: the host's libcurl (OpenSSL); the MinGW one is built below
  libcurl4-openssl-dev
  # tests and benchmarks
  libgtest-dev libgmock-dev libbenchmark-dev
  # zstd's own program applies the published patches in the paktool tests, independently
  zstd
  # the reference MD5 the MD5 benchmark is measured against (not linked into the product)
  libssl-dev
  # LHA peers for the method 1 coder
  lhasa jlha-utils liblhasa-dev
  # running the Windows programs headless
  wine64 xvfb xauth xdotool fonts-wqy-microhei locales
  # the 32-bit release runs under wine32 (an i386 package, see ensure_i386)
  wine32:i386
  # the portable core's unit tests as a 32-bit program (g++ -m32, Debian's i386 -dev
  # packages), and the emulator that runs it where the kernel runs no 32-bit programs
  g++-multilib zlib1g-dev:i386 liblzma-dev:i386 liblzo2-dev:i386 libsodium-dev:i386
  libzstd-dev:i386 libcurl4-openssl-dev:i386 qemu-user-static
  # an MSVC-ABI plug-in built by clang and lld-link, to prove the plug-in contract
  lld llvm
  # real peers for the network and window tests
  vsftpd python3-pyftpdlib curl imagemagick python3-nacl
  # the web server the HTTPS tests and benchmarks serve a publication from
  nginx-light
  # the window tests (desktop colour) and the skin art script
  x11-xserver-utils python3-pil
)

log() { printf 'setup: %s\n' "$*" >&2; }
die() { printf 'setup: error: %s\n' "$*" >&2; exit 1; }

[ "$(id -u)" -eq 0 ] || die "run as root"

export DEBIAN_FRONTEND=noninteractive

# Prints the names among "$@" that are not installed.
missing_packages() {
  local p
  for p in "$@"; do
    dpkg-query -W -f='${Status}\n' "$p" 2>/dev/null | grep -q '^install ok installed$' || echo "$p"
  done
}

# A package index that fails to refresh (an unrelated repository that is down) must not stop
# us while the packages we need can still be fetched: try the install, refresh, try again.
apt_install() {
  apt-get install -y -q "$@" && return 0
  log "install failed; refreshing the package index and retrying"
  apt-get update -q || log "warning: apt-get update reported errors; trying the install anyway"
  apt-get install -y -q "$@"
}

# wine32 is an i386 package: the architecture must be known to dpkg before apt sees it.
ensure_i386() {
  dpkg --print-foreign-architectures | grep -qx i386 && return
  log "adding the i386 architecture (for wine32)"
  dpkg --add-architecture i386
  apt-get update -q >&2 || log "warning: apt-get update reported errors"
}

install_packages() {
  local missing
  missing=$(missing_packages "${PACKAGES[@]}")
  if [ -z "$missing" ]; then
    log "packages: all present"
    return
  fi
  log "installing:" $missing
  # shellcheck disable=SC2086
  apt_install $missing || die "could not install:" $missing
}

ensure_locale() {
  if locale -a 2>/dev/null | grep -qix 'zh_CN\.utf8'; then
    return
  fi
  log "generating locale $LOCALE_NAME"
  if grep -q "^# *$LOCALE_NAME UTF-8" /etc/locale.gen 2>/dev/null; then
    sed -i "s/^# *$LOCALE_NAME UTF-8/$LOCALE_NAME UTF-8/" /etc/locale.gen
  elif ! grep -q "^$LOCALE_NAME UTF-8" /etc/locale.gen 2>/dev/null; then
    echo "$LOCALE_NAME UTF-8" >> /etc/locale.gen
  fi
  locale-gen >/dev/null
}

# deb-src entries mirroring the binary sources, so "apt-get source" works.
ensure_deb_src() {
  [ -f "$DEB_SRC_LIST" ] && return
  log "adding deb-src entries ($DEB_SRC_LIST)"
  if [ -f "$DEB_SOURCES" ]; then
    sed -e 's/^Types: *deb$/Types: deb-src/' "$DEB_SOURCES" > "$DEB_SRC_LIST"
  elif grep -q '^deb ' /etc/apt/sources.list 2>/dev/null; then
    # One-line format: the same entries as deb-src lines.
    DEB_SRC_LIST=${DEB_SRC_LIST%.sources}.list
    sed -n -e 's/^deb /deb-src /p' /etc/apt/sources.list > "$DEB_SRC_LIST"
  else
    die "no Debian package sources found to derive deb-src entries from"
  fi
  apt-get update -q >&2 || log "warning: apt-get update reported errors"
}

# Source version of the Debian source package built by the host's -dev package, e.g. 5.4.1-1.
# The host architecture's package alone: with the i386 -dev packages installed beside it, the
# bare name answers once per architecture.
source_version_of() {
  dpkg-query -W -f='${source:Version}' "$1:$(dpkg --print-architecture)"
}

# Unpacks source package $1 (version $2 if Debian still has it, else its current version)
# into the directory $3.
unpack_source() {
  local pkg=$1 version=$2 work=$3
  ensure_deb_src
  rm -rf "$work"
  mkdir -p "$work"
  log "fetching source $pkg $version"
  # The cache belongs to root; apt's sandbox user could not write there.
  local get=(apt-get source -q -o APT::Sandbox::User=root)
  ( cd "$work" && "${get[@]}" "$pkg=$version" ) >&2 \
    || { apt-get update -q >&2 || true; ( cd "$work" && "${get[@]}" "$pkg=$version" ) >&2; } \
    || { log "version $version unavailable; fetching the current $pkg source"
         ( cd "$work" && "${get[@]}" "$pkg" ) >&2; } \
    || unpack_any_version "$pkg" "$work" \
    || die "apt-get source $pkg failed"
}

# A mirror may lack the sources of an update (the security archive): try every version of
# source package $1 the package index knows, into directory $2, until one unpacks.
unpack_any_version() {
  local pkg=$1 work=$2 other
  for other in $(apt-cache showsrc "$pkg" 2>/dev/null | sed -n 's/^Version: //p' | sort -rV); do
    log "trying the $pkg source $other"
    rm -rf "${work:?}"/*
    ( cd "$work" && apt-get source -q -o APT::Sandbox::User=root "$pkg=$other" ) >&2 && return 0
  done
  return 1
}

# Unpacks source package $1 (version $2 if Debian still has it, else its current version)
# under $DEPS_DIR/src/$1_$2/; sets SOURCE_DIR to the unpacked tree.
fetch_source() {
  local pkg=$1 version=$2 work=$DEPS_DIR/src/${1}_${2#*:}
  if [ -f "$work/.unpacked" ]; then
    SOURCE_DIR=$(cat "$work/.unpacked")
    return
  fi
  unpack_source "$pkg" "$version" "$work"
  SOURCE_DIR=$(find "$work" -mindepth 2 -maxdepth 2 -name configure -type f -printf '%h\n' | head -n 1)
  if [ -z "$SOURCE_DIR" ]; then
    # Debian builds some packages (libsodium) with autoreconf: generate the script the same way.
    SOURCE_DIR=$(find "$work" -mindepth 2 -maxdepth 2 -name configure.ac -type f -printf '%h\n' | head -n 1)
    [ -n "$SOURCE_DIR" ] || die "no configure script in the unpacked source of $pkg ($work)"
    log "generating the configure script of $pkg"
    ( cd "$SOURCE_DIR" && autoreconf -fi ) > "$work/autoreconf.log" 2>&1 \
      || { tail -40 "$work/autoreconf.log" >&2; die "autoreconf of $pkg failed"; }
  fi
  echo "$SOURCE_DIR" > "$work/.unpacked"
}

# configure && make && make install of an autotools source for one MinGW triplet.
# Arguments: package, source version, triplet, installed library, configure options...
cross_build() {
  local pkg=$1 version=$2 triplet=$3 library=$4
  shift 4
  local prefix=$DEPS_DIR/$triplet
  local stamp=$prefix/.stamp-$pkg
  if [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$version" ] && [ -f "$prefix/lib/$library" ]; then
    log "$pkg $version for $triplet: up to date"
    return
  fi
  local src build
  fetch_source "$pkg" "$version"
  src=$SOURCE_DIR
  build=$DEPS_DIR/build/$triplet/$pkg
  rm -rf "$build"
  mkdir -p "$build" "$prefix"
  log "building $pkg $version for $triplet"
  (
    cd "$build"
    "$src/configure" --host="$triplet" --prefix="$prefix" \
      CC="$triplet-gcc-posix" CFLAGS="-O2" \
      --enable-static --disable-shared "$@" > configure.log 2>&1 \
      || { tail -40 configure.log >&2; exit 1; }
    make -j"$JOBS" > make.log 2>&1 || { tail -40 make.log >&2; exit 1; }
    make install > install.log 2>&1 || { tail -40 install.log >&2; exit 1; }
  ) || die "building $pkg for $triplet failed (logs in $build)"
  echo "$version" > "$stamp"
}

XZ_OPTIONS=(
  --disable-xz --disable-xzdec --disable-lzmadec --disable-lzmainfo --disable-lzma-links
  --disable-scripts --disable-doc --disable-nls --disable-threads
)

# The stack protector would need MinGW's libssp in every program that links libsodium;
# position-independent code means nothing for a static Windows library.
SODIUM_OPTIONS=(--disable-ssp --disable-pie)

# libcurl over Windows' own TLS (Schannel), so the system's TLS updates and proxy settings
# apply; only HTTP and HTTPS, and none of the optional libraries the MinGW targets lack.
CURL_OPTIONS=(
  --with-schannel --without-openssl --without-gnutls --without-nss --without-wolfssl
  --without-zlib --without-brotli --without-zstd --without-libpsl --without-libidn2
  --without-librtmp --without-nghttp2 --without-nghttp3 --without-ngtcp2 --without-libssh2
  --without-libssh --without-libgsasl
  --disable-ftp --disable-file --disable-ldap --disable-ldaps --disable-rtsp --disable-dict
  --disable-telnet --disable-tftp --disable-pop3 --disable-imap --disable-smtp --disable-gopher
  --disable-mqtt --disable-smb --disable-manual
)

# zstd ships no configure script: its own CMake project builds the static library alone
# (no programs, no threads: the updater compresses and decompresses on the caller's thread).
# Arguments: source version, triplet.
cross_build_zstd() {
  local pkg=libzstd version=$1 triplet=$2
  local prefix=$DEPS_DIR/$triplet
  local stamp=$prefix/.stamp-$pkg
  if [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$version" ] && [ -f "$prefix/lib/libzstd.a" ]; then
    log "$pkg $version for $triplet: up to date"
    return
  fi
  local work=$DEPS_DIR/src/${pkg}_${version#*:} src build
  if [ -f "$work/.unpacked" ]; then
    src=$(cat "$work/.unpacked")
  else
    unpack_source "$pkg" "$version" "$work"
    src=$(find "$work" -mindepth 2 -maxdepth 2 -name build -type d -printf '%h\n' | head -n 1)
    [ -n "$src" ] && [ -f "$src/build/cmake/CMakeLists.txt" ] \
      || die "no build/cmake in the unpacked source of $pkg ($work)"
    echo "$src" > "$work/.unpacked"
  fi
  build=$DEPS_DIR/build/$triplet/$pkg
  rm -rf "$build"
  mkdir -p "$build" "$prefix"
  log "building $pkg $version for $triplet"
  (
    cd "$build"
    cmake "$src/build/cmake" -G Ninja -DCMAKE_BUILD_TYPE=Release \
      -DCMAKE_SYSTEM_NAME=Windows -DCMAKE_C_COMPILER="$triplet-gcc-posix" \
      -DCMAKE_CXX_COMPILER="$triplet-g++-posix" -DCMAKE_RC_COMPILER="$triplet-windres" \
      -DCMAKE_INSTALL_PREFIX="$prefix" \
      -DZSTD_BUILD_STATIC=ON -DZSTD_BUILD_SHARED=OFF -DZSTD_BUILD_PROGRAMS=OFF \
      -DZSTD_BUILD_TESTS=OFF -DZSTD_BUILD_CONTRIB=OFF -DZSTD_MULTITHREAD_SUPPORT=OFF \
      -DZSTD_LEGACY_SUPPORT=OFF > configure.log 2>&1 \
      || { tail -40 configure.log >&2; exit 1; }
    cmake --build . -j "$JOBS" > make.log 2>&1 || { tail -40 make.log >&2; exit 1; }
    cmake --install . > install.log 2>&1 || { tail -40 install.log >&2; exit 1; }
  ) || die "building $pkg for $triplet failed (logs in $build)"
  echo "$version" > "$stamp"
}

build_cross_libs() {
  local xz_version lzo_version sodium_version zstd_version curl_version triplet
  xz_version=$(source_version_of liblzma-dev)
  lzo_version=$(source_version_of liblzo2-dev)
  sodium_version=$(source_version_of libsodium-dev)
  zstd_version=$(source_version_of libzstd-dev)
  curl_version=$(source_version_of libcurl4-openssl-dev)
  [ -n "$xz_version" ] && [ -n "$lzo_version" ] && [ -n "$sodium_version" ] \
    && [ -n "$zstd_version" ] && [ -n "$curl_version" ] \
    || die "liblzma-dev/liblzo2-dev/libsodium-dev/libzstd-dev/libcurl4-openssl-dev not installed"
  for triplet in "${TRIPLETS[@]}"; do
    cross_build xz-utils "$xz_version" "$triplet" liblzma.a "${XZ_OPTIONS[@]}"
    cross_build lzo2 "$lzo_version" "$triplet" liblzo2.a
    cross_build libsodium "$sodium_version" "$triplet" libsodium.a "${SODIUM_OPTIONS[@]}"
    cross_build curl "$curl_version" "$triplet" libcurl.a "${CURL_OPTIONS[@]}"
    cross_build_zstd "$zstd_version" "$triplet"
  done
}

# Where the kernel refuses 32-bit programs, they run through qemu-i386 (scripts/host_i386.sh).
ensure_i386_programs() {
  # shellcheck source=host_i386.sh
  source "$(dirname "${BASH_SOURCE[0]}")/host_i386.sh"
  host_runs_i386 && return
  log "registering qemu-i386 for 32-bit programs (this kernel runs none itself)"
  register_i386_emulation || die "could not register qemu-i386 with binfmt_misc"
}

ensure_i386
install_packages
ensure_locale
ensure_i386_programs
build_cross_libs
log "done (cross-built libraries in $DEPS_DIR)"
