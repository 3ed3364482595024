#!/usr/bin/env bash
# Installs what is missing, builds, and runs the program.
#
#   bash scripts/run.sh [zorvat7x arguments, e.g. /s for the settings dialogs]
#
# With a display, the window program zorvat7x starts: on the instruments of
# the port map when one is configured (ZORVAT_COMn variables or ports.ini
# beside the program), otherwise on its built-in simulated bench (--demo).
# Without a display it shows the same bench through zorvat-cli: with a port
# map it asks the instrument at PORT/ADDR (defaults COM1, 1), otherwise it
# starts the simulator and runs a short session against it.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)

bash scripts/install-deps.sh build
cmake --preset default -DZORVAT_BUILD_TESTS=OFF -DZORVAT_BUILD_BENCH=OFF >/dev/null
cmake --build --preset default -j"$jobs" --target zorvat7x zorvat-cli zorvat-sim
bin=build/default/src

mapped=false
if env | grep -q '^ZORVAT_COM[0-9]*=' || [ -f "$bin/app/ports.ini" ]; then mapped=true; fi

if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  if $mapped; then
    echo "Port map configured: the window works on the instruments."
    exec "$bin/app/zorvat7x" "$@"
  fi
  echo "No port map configured: the window works on its built-in simulated bench"
  echo "(COM1: instruments at addresses 1 and 2, COM2: address 1). Press \"Найти приборы\"."
  exec "$bin/app/zorvat7x" --demo "$@"
fi
echo "No display: the window cannot be shown here; the same core through zorvat-cli."

cli() { "$bin/app/zorvat-cli" "$@"; }

probe() {  # port address
  local id version model
  if ! id=$(cli --port "$1" --addr "$2" id 2>/dev/null); then
    printf '  %-5s address %-3s  no answer\n' "$1" "$2"
    return
  fi
  version=$(cli --port "$1" --addr "$2" version)
  model=$(cli --port "$1" --addr "$2" get 002007)
  printf '  %-5s address %-3s  identification %s  software version %s  model code %s\n' \
    "$1" "$2" "$id" "$version" "$model"
}

if $mapped; then
  echo "Port map configured; asking the instrument:"
  probe "${PORT:-COM1}" "${ADDR:-1}"
  exit 0
fi

echo "No port map configured: starting the simulator with a bench of three instruments."
links=$(mktemp -d)
out=$(mktemp)
"$bin/sim/zorvat-sim" --link-dir "$links" --speed 20 \
  --port COM1 --instrument 1:51 --instrument 2:C3 \
  --port COM2 --instrument 1:F3 >"$out" &
sim=$!
trap 'kill $sim 2>/dev/null; wait $sim 2>/dev/null; rm -rf "$links" "$out"' EXIT
for _ in $(seq 50); do [ "$(grep -c '^COM' "$out")" -ge 2 ] && break; sleep 0.1; done
while IFS= read -r line; do export "ZORVAT_$line"; echo "  port map: $line"; done < <(grep '^COM' "$out")

echo
echo "zorvat-cli session (addresses 1 to 3 on COM1 and COM2):"
for port in COM1 COM2; do
  for addr in 1 2 3; do probe "$port" "$addr"; done
done
echo
echo "Setpoint of regulator 1 at COM1:2, read and written:"
echo "  get 01DA66 -> $(cli --port COM1 --addr 2 get 01DA66) = $(cli wire2float "$(cli --port COM1 --addr 2 get 01DA66)")"
echo "  set 01DA66 $(cli float2wire 150) -> $(cli --port COM1 --addr 2 set 01DA66 "$(cli float2wire 150)")"
echo "  get 01DA66 -> $(cli wire2float "$(cli --port COM1 --addr 2 get 01DA66)")"

echo
echo "The same bench through the model, as the window's buttons work it:"
echo "\$ zorvat-cli search --ports COM1-COM2 --addr 1-3"
cli search --ports COM1-COM2 --addr 1-3 2>/dev/null
echo "\$ zorvat-cli --port COM1 --addr 2 --reg 1 switch on"
cli --port COM1 --addr 2 --reg 1 switch on 2>/dev/null
echo "\$ zorvat-cli --port COM1 --addr 2 --reg 1 watch --seconds 4   (the process runs 20 times faster)"
cli --port COM1 --addr 2 --reg 1 --seconds 4 watch 2>/dev/null
echo "\$ zorvat-cli --port COM1 --addr 2 --reg 1 switch off"
cli --port COM1 --addr 2 --reg 1 switch off 2>/dev/null
