#!/usr/bin/env bash
# Installs everything the project needs on a fresh Debian 12 machine.
# Idempotent: a second run only checks and returns quickly.
set -euo pipefail

packages=(
  build-essential cmake ninja-build clang libclang-rt-dev clang-format
  googletest libgtest-dev libgmock-dev
  mingw-w64 g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix
  python3 wine wine64 xvfb xauth x11-utils xdotool imagemagick vulkan-tools vulkan-validationlayers
  libvulkan-dev
)

as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

# Debian 12's own lavapipe lacks descriptor indexing, which the Direct3D 12
# layer of Wine needs to bind descriptor tables; the backports build has it.
# The backports entry is derived from the machine's own bookworm entry so that
# whichever mirror this machine uses is kept.
add_backports_source() {
  local dir=/etc/apt/sources.list.d
  if grep -rqs 'bookworm-backports' "$dir" /etc/apt/sources.list; then
    return
  fi
  local source
  source=$(grep -ls '^Suites:.*\bbookworm\b' "$dir"/*.sources | head -n 1 || true)
  if [ -n "$source" ]; then
    awk 'BEGIN { RS=""; ORS="\n\n" }
         /\nSuites:[^\n]*[ \t]bookworm([ \t\n]|$)/ || /^Suites:[^\n]*[ \t]bookworm([ \t\n]|$)/ {
           gsub(/Suites:[^\n]*/, "Suites: bookworm-backports"); print; exit }' \
      "$source" | as_root tee "$dir/project-backports.sources" >/dev/null
  else
    grep -E '^deb .* bookworm main' /etc/apt/sources.list | head -n 1 |
      sed -E 's/ bookworm / bookworm-backports /' |
      as_root tee "$dir/project-backports.list" >/dev/null
  fi
}

missing_packages() {
  local p
  for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || echo "$p"
  done
}

backports_mesa_installed() {
  dpkg-query -W -f='${Version}' mesa-vulkan-drivers 2>/dev/null | grep -q '~bpo12'
}

# npm fetches the VR client library at configure time (cmake/VrClientLibrary.cmake).
# A machine may have it from another source than Debian's package; only
# where there is none is Debian's installed.
npm_missing() {
  ! command -v npm >/dev/null 2>&1
}

main() {
  local missing
  missing=$(missing_packages)
  if npm_missing; then
    missing="$missing npm"
  fi
  if [ -z "${missing// /}" ] && backports_mesa_installed; then
    return
  fi
  export DEBIAN_FRONTEND=noninteractive
  add_backports_source
  as_root apt-get update -q
  if [ -n "${missing// /}" ]; then
    # shellcheck disable=SC2086
    as_root apt-get install -y -q --no-install-recommends $missing
  fi
  as_root apt-get install -y -q --no-install-recommends -t bookworm-backports mesa-vulkan-drivers
}

main "$@"
