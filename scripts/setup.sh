#!/usr/bin/env bash
# Installs what building and testing quorvane needs on Debian 12, skipping
# packages that are already there. Safe to run again.
set -euo pipefail

packages=(
  cmake g++ make pkg-config
  libcups2-dev libcupsimage2-dev   # raster stream, PPD and job options
  libjbig-dev jbigkit-bin          # JBIG-KIT's T.85 coder (and its command-line tools)
  libpng-dev                       # pictures for the library's C example
  libgtest-dev libgmock-dev        # unit and whole-job tests
  clang libclang-rt-14-dev         # libFuzzer targets (scripts/run_fuzzers.sh)
  valgrind                         # memcheck over whole jobs
  cups cups-client cups-filters ghostscript  # the real chain and scheduler for the driver tests
  cups-ppdc                        # ppdc compiles the PPDs
  python3                          # driver and library test scripts
  dpkg-dev build-essential debhelper fakeroot file lintian  # the Debian packages (dpkg-buildpackage) and their check
  libbenchmark-dev time            # stage microbenchmarks; peak memory in bench/run_benchmarks.py
  libpappl-dev                     # the IPP Everywhere Printer Application (printerapp/)
  cups-ipp-utils                   # ipptool: IPP Everywhere conformance and the app's own IPP tests
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ "${#missing[@]}" -gt 0 ]; then
  sudo_cmd=()
  [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
  echo "setup: installing ${missing[*]}"
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
else
  echo "setup: all packages present"
fi
