#!/usr/bin/env bash
# Installs every Debian package that building, running and testing Kestrelon needs.
# Idempotent: packages already present are left alone, so a second run is quick.
# Usage: scripts/install-deps.sh [bench]   ("bench" adds the benchmark peers nginx, lighttpd, h2o, wrk, and python3-pil for the soak)
set -euo pipefail

packages=(
    # build
    g++ cmake ninja-build ccache pkg-config
    qt6-base-dev libboost-dev libboost-system-dev libcurl4-openssl-dev
    # camera and live stream: GStreamer with the test source, clock overlay, VP8 and WebM
    libgstreamer1.0-dev libgstreamer-plugins-base1.0-dev gstreamer1.0-plugins-base
    gstreamer1.0-plugins-good gstreamer1.0-x gstreamer1.0-tools
    # snapshot encoders
    libjpeg62-turbo-dev libgif-dev
    # tests and fuzzing
    libgtest-dev libgmock-dev clang libclang-rt-14-dev curl xvfb python3-aiosmtpd python3-pyftpdlib
    # the time server of the time-check tests (its built-in RFC 868 service)
    xinetd
    # browser test of the sample site (tests/e2e): Chromium driven by playwright-core from npm
    chromium nodejs
    # fonts the program draws with
    fonts-liberation fonts-dejavu-core
    # the Debian package (cpack -G DEB: dpkg-shlibdeps, file), its 48 px icon, and its checks:
    # lintian, the man page's warnings, the user unit (systemd-analyze)
    dpkg-dev file librsvg2-bin lintian man-db systemd
)
# npm comes with some builds of nodejs; Debian's own nodejs has it as a package of its own.
if ! command -v npm >/dev/null 2>&1; then
    packages+=(npm)
fi
if [[ "${1:-}" == "bench" ]]; then
    packages+=(nginx wrk lighttpd h2o python3-pil)
fi

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done

if ((${#missing[@]} == 0)); then
    exit 0
fi

SUDO=""
if [[ $(id -u) -ne 0 ]]; then
    SUDO="sudo"
fi
echo "Installing: ${missing[*]}" >&2
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
