#!/usr/bin/env bash
# zorvat-cli against zorvat-sim, as an operator would use them: the programs
# themselves, their output and their exit codes.
#   cli_session_test.sh ZORVAT_CLI ZORVAT_SIM
# With ZORVAT_CLI_WINE=WINE, ZORVAT_CLI is the Windows build (zorvat-cli.exe)
# and runs under Wine, its COM1 and COM2 mapped in a Wine prefix of its own:
# the Win32 serial backend on a real (pseudo) serial line. Exit 77: Wine is
# not there.
set -u
cli=$1
sim=$2
work=$(mktemp -d)
"$sim" --link-dir "$work/links" --baud 19200 --turnaround 1 --speed 0 \
  --port COM1 --instrument 1:C3 --instrument 2:51 --fault COM1:2:status:param=01DA67,n=16 \
  --instrument 3:51 --fault COM1:3:bad-checksum --instrument 4:51 --fault COM1:4:wrong-address:n=9 \
  >"$work/sim.out" 2>"$work/sim.err" &
simpid=$!
trap 'kill $simpid 2>/dev/null; wait $simpid 2>/dev/null; rm -rf "$work"' EXIT
for _ in $(seq 100); do grep -qs '^COM1=' "$work/sim.out" && break; sleep 0.05; done
if ! grep -q '^COM1=' "$work/sim.out"; then
  echo "zorvat-sim did not start: $(cat "$work/sim.err")"
  exit 1
fi
export "ZORVAT_$(grep '^COM1=' "$work/sim.out")"
export ZORVAT_COM2=/nonexistent/zorvat-test-port

runner=()
if [ -n "${ZORVAT_CLI_WINE:-}" ]; then
  if ! command -v "$ZORVAT_CLI_WINE" >/dev/null; then
    echo "wine not found ($ZORVAT_CLI_WINE): skipped"
    exit 77
  fi
  # Wine reads its serial ports from the registry and points
  # dosdevices/comN at them when it starts. Wine's own errors stay on: a
  # step that fails without a word from zorvat-cli then says why Wine failed.
  export WINEPREFIX="$work/wine" WINEDEBUG=-all,err+all WINEDLLOVERRIDES="mscoree,mshtml="
  "$ZORVAT_CLI_WINE" reg add 'HKLM\Software\Wine\Ports' /v COM1 /t REG_SZ /d "$work/links/COM1" /f \
    >/dev/null 2>&1
  "$ZORVAT_CLI_WINE" reg add 'HKLM\Software\Wine\Ports' /v COM2 /t REG_SZ /d "$work/none" /f \
    >/dev/null 2>&1
  wineserver=$(dirname "$(readlink -f "$(command -v "$ZORVAT_CLI_WINE")")")/wineserver
  [ -x "$wineserver" ] || wineserver=$(command -v wineserver || true)
  [ -n "$wineserver" ] && "$wineserver" -k 2>/dev/null
  trap 'kill $simpid 2>/dev/null; wait $simpid 2>/dev/null; [ -n "$wineserver" ] && "$wineserver" -k 2>/dev/null; rm -rf "$work"' EXIT
  runner=("$ZORVAT_CLI_WINE")
fi
# Windows ends lines with CR LF: the outputs are compared without the CR.
run() {
  if [ ${#runner[@]} -eq 0 ]; then
    "$cli" --baud 19200 "$@"
    return
  fi
  local rc
  "${runner[@]}" "$cli" --baud 19200 "$@" >"$work/out.raw" 2>"$work/err.raw"
  rc=$?
  tr -d '\r' <"$work/out.raw"
  tr -d '\r' <"$work/err.raw" >&2
  return $rc
}

passed=0
failed=0
# check NAME EXPECTED_STATUS EXPECTED_STDOUT -- ARGS...   (stdout "*" is not compared)
check() {
  local name=$1 status=$2 expected=$3
  shift 4
  local out err rc
  out=$(run "$@" 2>"$work/err")
  rc=$?
  err=$(cat "$work/err")
  if [ "$rc" -ne "$status" ] || { [ "$expected" != "*" ] && [ "$out" != "$expected" ]; }; then
    echo "FAIL $name: status $rc (want $status), stdout [$out] (want [$expected]), stderr [$err]"
    failed=$((failed + 1))
  else
    passed=$((passed + 1))
  fi
}
# stderr_has NAME TEXT -- ARGS...: the command fails and says TEXT
stderr_has() {
  local name=$1 text=$2
  shift 3
  run "$@" >/dev/null 2>"$work/err"
  if grep -qF -- "$text" "$work/err"; then passed=$((passed + 1)); else
    echo "FAIL $name: stderr [$(cat "$work/err")] lacks [$text]"
    failed=$((failed + 1))
  fi
}
# fails NAME EXPECTED_STDOUT TEXT -- ARGS...: exits 1 with that stdout ("*": any) and says TEXT
# on stderr
fails() {
  local name=$1 expected=$2 text=$3
  shift 4
  local out rc
  out=$(run "$@" 2>"$work/err")
  rc=$?
  if [ "$rc" -ne 1 ] || { [ "$expected" != "*" ] && [ "$out" != "$expected" ]; } ||
    ! grep -qF -- "$text" "$work/err"; then
    echo "FAIL $name: status $rc (want 1), stdout [$out] (want [$expected]), stderr [$(cat "$work/err")] lacks [$text]?"
    failed=$((failed + 1))
  else
    passed=$((passed + 1))
  fi
}

check crc 0 6295 -- crc ":1;37;002007;"
check float2wire 0 0100803F -- float2wire 1.0000000596046448
check overflow 1 "" -- float2wire 1.7014118346046923e38
check wire2float 0 8.5070591730234616e+37 -- wire2float 0000807F
check bad-wire 2 "" -- wire2float 0000803G
check id 0 41 -- id
check version 0 20 -- version
check model 0 C3 -- get 002007
check model-2 0 51 -- --addr 2 get 002007
check set 0 '$0' -- set 01DA66 0000CC41
check set-again 0 0000CC41 -- set 01DA66 0000CC41
check read-back 0 0000CC41 -- get 01DA66
check device-error 1 "" -- --addr 2 get 01DA67
stderr_has device-error-text "error 16: Ошибочный номер параметра" -- --addr 2 get 01DA67
stderr_has silent "error -14: Прибор не подключён к порту (ошибка приёма данных из порта) COM1" -- --addr 7 get 002007
stderr_has missing "error -4: Порт COM2 отсутствует" -- --port COM2 id
stderr_has bad-port "a port is COM1..COM256" -- --port COM0 id
check usage 2 "" -- frobnicate
check search 0 '[{"port":"COM1","address":1,"model":"ZURURU-71/M2","version":20,"modelCode":"C3"},
 {"port":"COM1","address":2,"model":"ZURURU-71/M1","version":20,"modelCode":"51"}]' -- --json search --ports COM1 --addr 1-2
check write 0 written -- --reg 2 write-regulator Setpoint=300.5 PwmPeriod=120
check written 0 00409643 -- get 02DA66
check written-word 0 7800 -- get 02DA6E
stderr_has refusal "не может являться уставкой" -- --reg 1 write-regulator SetpointSource=1
check switch-on 0 on -- --reg 2 switch on
check is-on 0 1 -- get 02DA65
check switch-off 0 off -- --reg 2 switch off
check check-link 0 "" -- check-link
check channel-write 0 '*' -- channel write --ch 2 GAin=1.5 SEnS=27
check channel-gain 0 0000C03F -- get 023503
check channel-sensor 0 1B -- get 023531
check no-channel 1 "" -- --addr 2 channel read --ch 2
check relays 0 '*' -- relays write nrL2=15 relTbl=0102030405060708090A0B0C
check relay-table 0 0102030405060708090A0B0C -- get 00200C
check password 0 '*' -- passwords write Pass2=12AB
check password-wire 0 AB12 -- get 005002
check output-2 0 '*' -- aout write --out 2 OdH=250
check output-2-wire 0 00007A43 -- get 023F04
check save 0 '*' -- --addr 1-2 search --save "$work/bench.prj"
check project 0 "COM1	1	ZURURU-71/M2	19200 baud	version 20
  regulator 1: 2 points
  regulator 2: 2 points
COM1	2	ZURURU-71/M1	19200 baud	version 20
  regulator 1: 2 points" -- project show "$work/bench.prj"

# Failures keep their cause: what the search met, the instrument's code, how
# far a write got, why a project file was not read or written.
fails search-nothing "" "error -14: Прибор не подключён к порту (ошибка приёма данных из порта) COM1 (COM1, address 7)" -- search --ports COM1 --addr 7
fails search-no-port "" "error -4: Порт COM2 отсутствует" -- search --ports COM2
fails bad-checksum "" "error -19: Ошибка контрольной суммы в ответе прибора (COM1, address 3)" -- --addr 3 read
fails wrong-address "" "error -20: Неверный адрес прибора в ответе (COM1, address 4)" -- --addr 4 check-link
fails write-part-way "partly written: Setpoint" "error 16: Ошибочный номер параметра (writing Kp)" -- --addr 2 --reg 1 write-regulator Setpoint=123
check written-before-it 0 0000F642 -- --addr 2 get 01DA66
chmod 444 "$work/bench.prj"
fails save-protected "*" "error: cannot write the project $work/bench.prj: Файл защищён от записи." -- --addr 1 search --save "$work/bench.prj"
fails project-missing "" "error: cannot read $work/none.prj: Файл не найден." -- project show "$work/none.prj"
for n in $(seq 0 256); do printf '[Device%d]\r\nPresent=-1\r\nAddress=%d\r\n' "$n" $((n % 256)); done >"$work/full.prj"
check project-full 0 "$(for n in $(seq 0 254); do printf 'COM1\t%d\tЗОРВАТ-7x\t9600 baud\tversion 0\n' "$n"; done)" -- project show "$work/full.prj"
stderr_has project-full-warning "warning: Приборов в файле: 257" -- project show "$work/full.prj"

# --stats: each port's line statistics after the command, whatever its end.
out=$(run --addr 3 --stats get 002007 2>/dev/null)
if printf '%s\n' "$out" | grep -qx 'COM1:' && printf '%s\n' "$out" | grep -qx '  Запросов: 1' &&
  printf '%s\n' "$out" | grep -qx '  Ошибок контрольной суммы: 1' &&
  printf '%s\n' "$out" | grep -q '^  Время обмена наибольшее: [0-9.]* мс'; then
  passed=$((passed + 1))
else
  echo "FAIL stats: stdout [$out]"
  failed=$((failed + 1))
fi

# --record DIR: watch writes the regulator's trend file there.
check record-on 0 on -- --reg 1 switch on
run --reg 1 --seconds 3 --record "$work/records" watch >/dev/null 2>"$work/err"
trend=$(ls "$work/records"/*_COM1_001_R1.csv 2>/dev/null)
if [ -n "$trend" ] && [ "$(head -n 1 "$trend")" = "time,minutes,value,setpoint,on,autotune,program_point,relays,inputs,error" ] &&
  [ "$(grep -c ',1,0,,' "$trend")" -ge 3 ]; then
  passed=$((passed + 1))
else
  echo "FAIL record: files [$(ls "$work/records" 2>&1)], stderr [$(cat "$work/err")]"
  failed=$((failed + 1))
fi
check record-off 0 off -- --reg 1 switch off

echo "cli session${runner:+ under Wine}: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
