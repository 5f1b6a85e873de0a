#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing need, when any is missing.
# Sourced by run.sh and test.sh.
bm_packages=(
  cmake ninja-build g++ pkg-config
  qt6-base-dev libqt6sql6-sqlite libgl-dev
  libsqlite3-dev sqlite3 libzip-dev
  libgtest-dev googletest
  zip unzip python3 clang-format
  xvfb xauth fonts-dejavu-core fonts-liberation2
  clang libclang-rt-14-dev
)
bm_install_packages() {
  local missing=()
  for p in "${bm_packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  if ((${#missing[@]})); then
    echo "Installing: ${missing[*]}"
    local sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
  fi
}
