#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing need, and only those that are
# missing, so that a second run costs a few dpkg queries and nothing else.
set -euo pipefail

packages=(
  # build and test tools
  build-essential cmake pkg-config libgtest-dev libgmock-dev
  # packaging and the checks of what is installed: validators, the unit's tools, the .deb
  appstream librsvg2-bin systemd man-db debhelper dpkg-dev lintian
  # the fuzz programs: clang with libFuzzer and the sanitizer runtimes
  clang libclang-rt-14-dev
  # libraries the program links
  libgtk-3-dev libpulse-dev libasound2-dev libmpg123-dev libsodium-dev
  # real components the tests drive: MP3 encoder, sound servers (PulseAudio, and PipeWire with
  # its session manager and bus), ALSA's pulse plugin, virtual display, input and screenshots
  lame mpg123 pulseaudio pulseaudio-utils libasound2-plugins alsa-utils
  pipewire pipewire-pulse wireplumber dbus-daemon
  xvfb xdotool x11-apps x11-utils imagemagick time locales desktop-file-utils
  # a Wayland compositor with a headless back end for the window on Wayland
  weston
  # a private session bus and its clients, for the media controls
  dbus playerctl libglib2.0-bin
  # the accessibility bus and a screen reader's client library, for the window's accessible tree
  at-spi2-core python3-pyatspi
  # benchmark tools: instruction and system-call counters, and a general music player the
  # window's cost is measured against
  valgrind strace audacious
  # fonts for the scripts of all window languages
  fonts-dejavu-core fonts-noto-core fonts-noto-cjk fonts-noto-ui-core
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

as_root() { if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi; }

if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  as_root apt-get update -qq
  as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# A German numeric locale lets the tests prove that files keep "." as the decimal mark.
if ! locale -a 2>/dev/null | grep -qi '^de_DE\.utf-\?8$'; then
  if [ -f /etc/locale.gen ]; then
    as_root sed -i 's/^# *\(de_DE.UTF-8 UTF-8\)/\1/' /etc/locale.gen
    grep -q '^de_DE.UTF-8 UTF-8' /etc/locale.gen || echo 'de_DE.UTF-8 UTF-8' | as_root tee -a /etc/locale.gen >/dev/null
    as_root locale-gen >/dev/null 2>&1 || true
  fi
fi
