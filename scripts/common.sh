# Shared by the set-up scripts: install what is missing, configure and build.
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="${VELORIN_BUILD:-$ROOT/build}"

PACKAGES=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-base-dev-tools qt6-serialport-dev libgl-dev
  libgtest-dev libgmock-dev
  fonts-arphic-ukai fonts-arphic-uming qt6-translations-l10n poppler-utils
  clang libclang-rt-dev
  dpkg-dev desktop-file-utils appstream man-db groff-base file
  socat python3-pymodbus python3-serial python3-serial-asyncio libmodbus-dev mbpoll
)

install_missing() {
  local missing=()
  for p in "${PACKAGES[@]}" "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing: ${missing[*]}"
  local sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

configure_and_build() {
  # ccache, where it is installed, makes a rebuild in a fresh clone quick.
  local launcher=()
  command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
  cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE="${BUILD_TYPE:-RelWithDebInfo}" \
    "${launcher[@]}" "$@"
  cmake --build "$BUILD" -j "$(nproc)"
}

# The libFuzzer programs of fuzz/ (clang, instrumented, sanitizers on) in their own build folder.
build_fuzzers() {
  local dir="${VELORIN_FUZZ_BUILD:-$ROOT/build-fuzz}"
  CXX=clang++ cmake -S "$ROOT" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DVELORIN_TESTS=OFF -DVELORIN_FUZZ=ON
  cmake --build "$dir" -j "$(nproc)" --target fuzz_rtu_reply fuzz_ascii_reply fuzz_transact \
    fuzz_request_reader fuzz_parameter_file
}
