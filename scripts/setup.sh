#!/usr/bin/env bash
# Installs what a fresh Debian 12 machine lacks for building and testing Zemrik.
# Runs apt-get only when a package is missing; never asks questions.
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config libudev-dev
  libgtest-dev libgmock-dev googletest
  nlohmann-json3-dev libcli11-dev
  qt6-base-dev qt6-translations-l10n fonts-dejavu-core xvfb xauth
  clang-14 libclang-rt-14-dev
  locales
  poppler-utils python3
  librsvg2-bin help2man file dpkg-dev  # icons, man pages and the packages' dependencies
  lintian desktop-file-utils appstream shared-mime-info libglib2.0-bin  # the package checks
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

sudo_cmd=()
if [[ $(id -u) -ne 0 ]]; then
  sudo_cmd=(sudo)
fi

if ((${#missing[@]} > 0)); then
  echo "setup: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  "${sudo_cmd[@]}" apt-get update -qq
  "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# A Russian locale lets the tests check that numbers follow the user's decimal comma.
if ! locale -a 2>/dev/null | grep -qi '^ru_RU\.utf-\?8$'; then
  echo "setup: generating the ru_RU.UTF-8 locale"
  "${sudo_cmd[@]}" localedef -i ru_RU -f UTF-8 ru_RU.UTF-8
fi
echo "setup: ready"
