# Sourced by scripts/run and scripts/test: installs the Debian packages the
# build and the tests need (only those missing), then configures and builds.
set -euo pipefail

QUARN_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"

# Building and running the program (scripts/run installs only these).
QUARN_PACKAGES=(
  cmake ninja-build g++ pkg-config
  qt6-base-dev qt6-base-dev-tools qt6-qpa-plugins libgl-dev
  zlib1g-dev libdevil-dev libarchive-dev
  nettle-dev libbz2-dev liblzma-dev libzstd-dev libdeflate-dev libisal-dev
  g++-mingw-w64-x86-64 libz-mingw-w64-dev
  fonts-dejavu-core
)
# The peers the tests and benchmarks compare against and run under (scripts/test
# adds these; imagemagick is bench_thumbnails' peer).
QUARN_TEST_PACKAGES=(
  zip unzip p7zip-full libarchive-tools tar gzip pigz python3
  wine64 xvfb xauth
  imagemagick time
  xz-utils bzip2 zstd lz4
)
# Only the tests need these: the desktop-integration validators and tools,
# man for the manual page, dpkg-dev for packing the .deb.
QUARN_TEST_PACKAGES+=(
  desktop-file-utils appstream xdg-utils xdg-user-dirs man-db dpkg-dev
)
QUARN_SANITIZE_PACKAGES=(clang libclang-rt-14-dev)
# The ThreadSanitizer build: clang 16 and its runtime, and llvm-16 for its
# llvm-symbolizer (the reports name functions and lines, and the suppressions
# match on those names).
QUARN_TSAN_PACKAGES=(clang-16 libclang-rt-16-dev llvm-16)

quarn_install_missing() {
  local missing=()
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    local sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    $sudo env DEBIAN_FRONTEND=noninteractive apt-get update -qq
    $sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
  fi
}

# quarn_build BUILD_DIR [cmake options...]
quarn_build() {
  local dir="$1"; shift
  cmake -S "$QUARN_ROOT" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
  cmake --build "$dir" -j "$(nproc)"
}
