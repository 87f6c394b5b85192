#!/usr/bin/env bash
# Installs what building and testing quorvane needs on Debian 12, skipping
# packages that are already there. Safe to run again.
#
#   scripts/setup.sh [--cross ARCH...]
#
# --cross arm64 / armhf also adds the architecture to dpkg and installs its
# cross toolchain, qemu-user and the libraries' -dev packages for it
# (scripts/run_cross_tests.sh).
set -euo pipefail

cross=()
if [ "${1:-}" = "--cross" ]; then
  shift
  cross=("$@")
fi

packages=(
  cmake g++ make pkg-config
  libcups2-dev libcupsimage2-dev   # raster stream, PPD and job options
  libjbig-dev jbigkit-bin          # JBIG-KIT's T.85 coder (and its command-line tools)
  libpng-dev                       # pictures for the library's C example and the Printer Application
  libjpeg-dev                      # JPEG pictures in the Printer Application (libjpeg-turbo)
  libgtest-dev libgmock-dev        # unit and whole-job tests
  clang libclang-rt-14-dev         # libFuzzer targets (scripts/run_fuzzers.sh)
  valgrind                         # memcheck over whole jobs
  cups cups-client cups-filters ghostscript  # the real chain and scheduler for the driver tests
  cups-ppdc                        # ppdc compiles the PPDs
  python3                          # driver and library test scripts
  dpkg-dev build-essential debhelper fakeroot file lintian  # the Debian packages (dpkg-buildpackage) and their check
  libbenchmark-dev time            # stage microbenchmarks; peak memory in bench/run_benchmarks.py
  libpappl-dev                     # the IPP Everywhere Printer Application (printerapp/)
  libavahi-client-dev              # whether DNS-SD discovery can work, for the application's devices list
  cups-ipp-utils                   # ipptool: IPP Everywhere conformance and the app's own IPP tests
)

sudo_cmd=()
[ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)

for arch in "${cross[@]}"; do
  case "$arch" in
    arm64|armhf) ;;
    *) echo "setup: unknown architecture $arch (arm64 or armhf)" >&2; exit 2 ;;
  esac
  # Read whole first: grep -q leaving a pipe early fails it under pipefail.
  foreign=$(dpkg --print-foreign-architectures)
  if ! grep -qx "$arch" <<<"$foreign"; then
    echo "setup: adding architecture $arch"
    "${sudo_cmd[@]}" dpkg --add-architecture "$arch"
  fi
  packages+=(
    "crossbuild-essential-$arch"
    "libcups2-dev:$arch" "libcupsimage2-dev:$arch" "libjbig-dev:$arch" "libpng-dev:$arch"
    "libgtest-dev:$arch" "libgmock-dev:$arch"
    "libpappl-dev:$arch" "libavahi-client-dev:$arch" "libjpeg-dev:$arch"  # the Printer Application
  )
done

[ "${#cross[@]}" -eq 0 ] || packages+=(qemu-user)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ "${#missing[@]}" -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
else
  echo "setup: all packages present"
fi
