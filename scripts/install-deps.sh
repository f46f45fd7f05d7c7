#!/bin/bash
# Installs the Debian packages the build, the tests and the demo need; does nothing when all are
# present. Safe to run again.
set -euo pipefail
# shellcheck source=scripts/lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

packages=(
    cmake make g++ python3                  # native build
    googletest libgtest-dev libgmock-dev    # unit tests (sources for the Windows build too)
    libbenchmark-dev                        # benchmarks
    g++-mingw-w64-x86-64-posix              # Windows cross build
    wine wine64                             # running the Windows build
    xvfb xauth xdotool x11-utils imagemagick # a display for the window, clicks and screenshots
    fonts-open-sans                         # stand-in for the Windows interface face under Wine
    fonts-dejavu-core fonts-dejavu-extra    # symbols, and a deliberately wide face for one check
    fonts-symbola                           # the one mark DejaVu lacks (ⓘ), linked under Wine
    zip icoutils                            # the release archive and reading its version resource
    wixl msitools                           # the release's installer (wixl) and reading it (msiinfo)
    osslsigncode openssl                    # signing the release and making a test certificate
    clang-format                            # the C++ layout (.clang-format)
)
install_packages "${packages[@]}"
