#!/usr/bin/env bash
# Installs the Debian 12 packages the project builds, runs and tests with.
# Idempotent: packages already present are not touched, and apt-get update
# runs at most once, only when something is missing.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config git
  libgtest-dev libgmock-dev libbenchmark-dev
  clang libclang-rt-14-dev clang-format
  libgstreamer1.0-dev libgstreamer-plugins-base1.0-dev
  gstreamer1.0-plugins-base gstreamer1.0-plugins-good gstreamer1.0-plugins-bad
  gstreamer1.0-plugins-ugly gstreamer1.0-libav gstreamer1.0-tools
  gstreamer1.0-x gstreamer1.0-gl gstreamer1.0-alsa gstreamer1.0-pulseaudio gstreamer1.0-pipewire
  qt6-base-dev qt6-base-dev-tools libglib2.0-dev libx11-dev
  libjpeg62-turbo-dev libisal-dev libsodium-dev
  libgstreamer-plugins-bad1.0-dev gstreamer1.0-nice libnice-dev libsoup-3.0-dev libqrencode-dev
  libjson-glib-dev janus chromium chromium-driver python3-selenium gir1.2-gst-plugins-bad-1.0
  xvfb xauth x11-utils imagemagick iproute2 python3-pil openbox dbus-daemon dbus-bin python3-gi
  fonts-wqy-microhei qt6-translations-l10n
  dpkg-dev file desktop-file-utils appstream strace groff-base procps
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [[ ${#missing[@]} -eq 0 ]]; then
  echo "setup: all packages present"
  exit 0
fi

echo "setup: installing ${missing[*]}"
sudo_cmd=()
[[ $(id -u) -ne 0 ]] && sudo_cmd=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -q
"${sudo_cmd[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
