#!/usr/bin/env bash
# Installs what Kestrel needs to build, run and test on Debian 12, from Debian's own packages.
# Does nothing when everything is already there.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-base-dev-tools libqt6printsupport6 libgl-dev
  libgtest-dev libgmock-dev
  clang-format clang clang-tidy libclang-rt-14-dev
  trash-cli poppler-utils xvfb xauth
  e2fsprogs locales ccache
  dpkg-dev file desktop-file-utils appstream systemd man-db shared-mime-info lintian
)

# Tests of date display in a user's locale need one locale besides C.
ensure_locale() {
  locale -a 2>/dev/null | grep -qi '^en_US\.utf-\?8$' && return 0
  [ "$(id -u)" -eq 0 ] || return 0
  sed -i 's/^# *\(en_US.UTF-8 UTF-8\)/\1/' /etc/locale.gen && locale-gen >/dev/null
}

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
  ensure_locale
  exit 0
fi

echo "Installing: ${missing[*]}"
sudo=""
if [ "$(id -u)" -ne 0 ]; then
  command -v sudo >/dev/null || { echo "Run as root or install sudo: missing ${missing[*]}" >&2; exit 1; }
  sudo=sudo
fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update
$sudo apt-get install -y --no-install-recommends "${missing[@]}"
ensure_locale
