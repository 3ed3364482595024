#!/usr/bin/env bash
# Installs the Debian 12 packages that the build needs, and only those that
# are missing: running it again changes nothing.
#
#   scripts/install-deps.sh [build|test|all]
set -euo pipefail

build=(cmake ninja-build g++ make pkg-config qt6-base-dev qt6-base-dev-tools libqcustomplot-dev
       libjpeg62-turbo-dev fonts-dejavu-core qt6-translations-l10n)
test=(libgtest-dev libgmock-dev libbenchmark-dev clang libclang-rt-14-dev clang-format
      g++-mingw-w64-x86-64 xvfb xauth ser2net wine64 lintian desktop-file-utils appstream man-db)

case "${1:-all}" in
  build) wanted=("${build[@]}") ;;
  test | all) wanted=("${build[@]}" "${test[@]}") ;;
  *) echo "usage: $0 [build|test|all]" >&2; exit 2 ;;
esac

missing=()
for pkg in "${wanted[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$pkg")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "installing: ${missing[*]}"
if [ "$(id -u)" -ne 0 ]; then
  if command -v sudo >/dev/null; then SUDO=sudo; else
    echo "these packages are missing and installing them needs root: ${missing[*]}" >&2
    exit 1
  fi
else
  SUDO=
fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -q
$SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
