#!/usr/bin/env bash
# Runs host command scripts through the stand-in host twice, as a Linux program loading the
# Linux module and as a Windows program under Wine loading Zorvane.xop (LoadLibrary, and the
# message table through FindResourceEx), each against a fresh simulated device, and requires the
# same history, diagnostics and exit status from both.
#   compare_host_sessions.sh LINUX_XOPHOST WINDOWS_XOPHOST MBSIM WINE64 WORK_DIR SCRIPT...
# "port=5020" in a script stands for the simulated device's port. WINEPREFIX must be set and
# the Wine server running.
set -euo pipefail
mkdir -p "$5"
# The sessions run in the work folder, so every path is made absolute.
linux_host=$(realpath "$1")
windows_host=$(realpath "$2")
mbsim=$(realpath "$3")
wine=$(realpath "$4")
work=$(realpath "$5")
shift 5

device_pid=
stop_device() {
  if [ -n "$device_pid" ]; then
    kill "$device_pid" 2>/dev/null || true
    wait "$device_pid" 2>/dev/null || true
    device_pid=
  fi
}
trap stop_device EXIT

# Starts a simulated Modbus/TCP device with the demo contents; sets device_port.
start_device() {
  local out=$1
  "$mbsim" --mode tcp --seconds 120 >"$out" 2>&1 &
  device_pid=$!
  device_port=
  for _ in $(seq 100); do
    device_port=$(sed -n '1s/^listening on 127\.0\.0\.1:\([0-9]*\)$/\1/p' "$out" 2>/dev/null || true)
    [ -n "$device_port" ] && return 0
    sleep 0.05
  done
  echo "compare_host_sessions: the simulator did not start: $(cat "$out")" >&2
  return 1
}

# run_session NAME SCRIPT PROGRAM...: output files $work/NAME.{out,err,status}, with the
# device's port written back as 5020 and line ends as on Linux.
run_session() {
  local name=$1 script=$2
  shift 2
  start_device "$work/$name.device"
  sed "s/port=5020/port=$device_port/g" "$script" >"$work/$name.txt"
  local status=0
  (cd "$work" && timeout 120 "$@" --keep-going "$name.txt" >"$name.raw-out" 2>"$name.raw-err") || status=$?
  stop_device
  echo "$status" >"$work/$name.status"
  perl -pe "s/\r\n/\n/g; s/\b$device_port\b/5020/g" "$work/$name.raw-out" >"$work/$name.out"
  perl -pe "s/\r\n/\n/g; s/\b$device_port\b/5020/g; s/\Q$name.txt\E/SCRIPT/g" "$work/$name.raw-err" >"$work/$name.err"
}

failures=0
for script in "$@"; do
  base=$(basename "$script" .txt)
  run_session "$base-linux" "$script" "$linux_host"
  run_session "$base-windows" "$script" "$wine" "$windows_host"
  for part in out err status; do
    if cmp -s "$work/$base-linux.$part" "$work/$base-windows.$part"; then
      echo "ok: $base: same $part on Linux and Windows"
    else
      echo "FAIL: $base: $part differs between Linux and Windows"
      diff "$work/$base-linux.$part" "$work/$base-windows.$part" | head -20 || true
      failures=$((failures + 1))
    fi
  done
  # Against a live device the sessions must have done something.
  if ! grep -q "=> MODBUS/TCP" "$work/$base-windows.out"; then
    echo "FAIL: $base: no command reached the device"
    failures=$((failures + 1))
  fi
done
exit $((failures != 0))
