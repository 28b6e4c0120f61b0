#!/usr/bin/env bash
# The one list of Debian packages the build, the tests and the studio need.
# Installs only what is missing; runs apt-get update only when something is.
set -euo pipefail

PACKAGES=(
  # toolchain and test frameworks
  build-essential cmake ninja-build pkg-config clang libclang-rt-14-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  # Foundation: JSON, Unicode
  nlohmann-json3-dev libicu-dev
  # Gpu: OpenGL 4.5 through libepoxy, EGL headless on Mesa
  libepoxy-dev libegl-dev libgl-dev libegl-mesa0 libgl1-mesa-dri libglm-dev
  # Image: OpenImageIO (PNG, JPEG, HDR), libheif (HEIC), libtiff (TIFF); libdeflate and zlib for PNG writing
  libopenimageio-dev openimageio-tools libheif-dev libtiff-dev libdeflate-dev zlib1g-dev
  # Draw2D: Cairo with fontconfig/FreeType fonts
  libcairo2-dev libfontconfig-dev libfreetype-dev
  fonts-urw-base35 fonts-liberation fonts-dejavu-core fonts-inter fonts-fork-awesome
  # Media: FFmpeg with libx264 and AAC
  libavformat-dev libavcodec-dev libavutil-dev libswscale-dev libswresample-dev
  # Window, audio, controller rumble, Dear ImGui
  libsdl2-dev libimgui-dev
  # ModelImport
  liblz4-dev
  # Crypto
  libssl-dev
  # Net, Cloud
  libenet-dev libsqlite3-dev libpq-dev postgresql
  # Capture and Vision
  libopencv-dev opencv-data libtesseract-dev tesseract-ocr-eng
  # headless application tests (X11 and XTest drive windows behind SDL, as a user does)
  xvfb xauth libx11-dev libxtst-dev
  # downloading the reference codec used as a test oracle
  dpkg-dev
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
