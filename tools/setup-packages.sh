#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing need, when any is missing.
# Sourced by run.sh and test.sh.
bm_packages=(
  cmake ninja-build g++ pkg-config
  qt6-base-dev
  # The charts; Qt Charts' CMake files need Qt OpenGL's, which its package does not bring.
  qt6-charts-dev libqt6opengl6-dev
  libsqlite3-dev libzip-dev
  # The herd database on a PostgreSQL server: libpq to build, the server for the tests' throw-away
  # cluster (its citext extension comes with it).
  libpq-dev postgresql
  libgtest-dev
  # The tests check archives with unzip, read CSV files back with python3 and validate the ADE
  # JSON files against their schemas with python3's jsonschema; test.sh checks the formatting
  # with clang-format.
  unzip python3 python3-jsonschema clang-format
  # The windows' fonts: DejaVu Sans stands in for Tahoma, Liberation Sans for Arial.
  fonts-dejavu-core fonts-liberation2
  # fuzz/run.sh (and so .ci/run) builds the fuzz targets with clang and its libFuzzer runtime.
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
