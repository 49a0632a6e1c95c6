#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the demo need.
# Idempotent: installs only what is missing. Needs root (or sudo). A package
# index that cannot be downloaded is retried, then gone without (scripts/apt.sh).
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  clang libclang-rt-14-dev clang-format
  libgtest-dev libgmock-dev libbenchmark-dev
  libfreetype-dev libfontconfig-dev fontconfig fonts-dejavu-core fonts-wqy-microhei
  libcups2-dev cups cups-daemon cups-client
  libstb-dev
  libcairo2-dev libpango1.0-dev libpng-dev libjpeg62-turbo-dev libgif-dev libzint-dev libzbar-dev zlib1g-dev libpoppler-glib-dev qpdf
  fonts-texgyre zxing-cpp-tools tesseract-ocr tesseract-ocr-eng
  iproute2 procps file
  libboost-dev nlohmann-json3-dev chromium
  libsqlite3-dev
  python3 python3-venv python3-setuptools python3-wheel python3-pip python3-pytest binutils
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

# The browser tests need node and npm; machines that ship their own keep it.
if ! command -v npm >/dev/null 2>&1; then
  missing+=(nodejs npm)
fi

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "setup: installing ${missing[*]}"
source "$(dirname "$0")/apt.sh"
apt_update
apt_install "${missing[@]}"
