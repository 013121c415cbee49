#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, and any named on the command line
# (`make clang`, `make fuzz` and the format targets add clang and clang-format). Idempotent and
# quick when everything is already present: it asks apt only for what dpkg does not report as
# installed.
set -euo pipefail

packages=(
  "$@"
  build-essential cmake ninja-build pkg-config
  nlohmann-json3-dev libgeographiclib-dev libcurl4-openssl-dev libcpp-httplib-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  libcli11-dev libpugixml-dev libsqlite3-dev
  libgps-dev libnl-genl-3-dev gpsd gpsd-tools
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q '^install ok installed$'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "installing: ${missing[*]}"
sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi
apt_get=("${sudo_cmd[@]}" env DEBIAN_FRONTEND=noninteractive apt-get)
# A fresh machine may have stale package lists; refresh them only when the first attempt fails.
if ! "${apt_get[@]}" install -y -q --no-install-recommends "${missing[@]}"; then
  "${apt_get[@]}" update -q
  "${apt_get[@]}" install -y -q --no-install-recommends "${missing[@]}"
fi
