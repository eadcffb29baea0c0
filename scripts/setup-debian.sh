#!/usr/bin/env bash
# Installs the Debian packages this project builds and tests with, when they are missing.
# Safe to run again: it installs nothing when everything is present.
set -euo pipefail

packages=(
  cmake g++ make pkg-config binutils
  libopencv-core-dev libopencv-imgproc-dev libopencv-imgcodecs-dev
  libgtest-dev libbenchmark-dev
  libcli11-dev nlohmann-json3-dev
  # The Python package zolt, its tests, and cv2 for its examples.
  python3-dev pybind11-dev python3-numpy python3-pytest python3-opencv
  # zolt-capture, and its tests: Chromium showing the test pages and Debian documentation pages
  # of three generators (Sphinx classic theme, rustdoc, Doxygen), xterm and xmessage, on a private
  # X server, driven through XTest by xdotool.
  libx11-dev libxtst-dev
  xvfb x11-utils chromium fonts-dejavu-core imagemagick xdotool xterm
  python-mpmath-doc rust-doc libjsoncpp-doc
  # Its Wayland backend, and its tests: a headless sway, and weston as a compositor without
  # screencopy.
  libwayland-dev wayland-protocols sway weston
)

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$package")
  fi
done

if ((${#missing[@]} == 0)); then
  exit 0
fi

echo "Installing: ${missing[*]}"
sudo_cmd=()
if [[ $(id -u) -ne 0 ]]; then
  sudo_cmd=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
