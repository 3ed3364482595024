#!/usr/bin/env bash
# Builds the Debian package from the default build, checks it (lintian, the
# desktop entry, the AppStream metadata), installs it, runs the installed
# programs briefly and removes it again. Root, on a machine of its own.
#   scripts/package-test.sh   (after cmake --build --preset default)
set -euo pipefail
cd "$(dirname "$0")/.."
(cd build/default && cpack -G DEB >/dev/null)
deb=$(ls build/default/zorvat7x_*.deb | head -1)
echo "package: $deb"
lintian --fail-on error "$deb"
desktop-file-validate packaging/zorvat7x.desktop
appstreamcli validate --no-net packaging/zorvat7x.metainfo.xml >/dev/null
dpkg -i "$deb" >/dev/null
trap 'dpkg -r zorvat7x >/dev/null 2>&1 || true' EXIT
/usr/bin/zorvat-cli --version
/usr/bin/zorvat-sim --version
man -w zorvat-cli >/dev/null
work=$(mktemp -d)
/usr/bin/zorvat-sim --link-dir "$work/links" --baud 9600 --port COM1 --instrument 1:C3 >"$work/sim.out" &
sim=$!
for _ in $(seq 50); do grep -q '^COM1=' "$work/sim.out" && break; sleep 0.1; done
ZORVAT_COM1="$work/links/COM1" /usr/bin/zorvat-cli --program-dir "$work" search --ports COM1 --addr 1-1 \
  | grep -q 'ZURURU-71/M2'
kill $sim; wait $sim 2>/dev/null || true
# The window on its demonstration bench for a few seconds: it must still be
# running when it is stopped.
QT_QPA_PLATFORM=offscreen timeout 5 /usr/bin/zorvat7x --demo --no-start-window && exit 1 || [ $? -eq 124 ]
rm -rf "$work"
echo "package checks passed"
