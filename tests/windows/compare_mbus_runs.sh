#!/usr/bin/env bash
# Runs the command-line master twice per case, as the Linux program and as mbus.exe under Wine,
# against the same simulated Modbus/TCP device, and requires the same output, diagnostics and
# exit status from both. The last case interrupts a watch whose polls fail: Ctrl+C under Wine
# (Wine turns SIGINT into the console's control event), SIGTERM on Linux; ended by its own handler
# the watch exits with the status of its last poll, where Wine's default would end it with 0.
# With a TLS device's port and its certificate folder (tests/tls/make_certificates.sh with "rsa"),
# both also read through TLS with the RSA client certificate, and both refuse an untrusted device.
#   compare_mbus_runs.sh LINUX_MBUS WINDOWS_MBUS WINE64 WORK_DIR TCP_PORT [TLS_PORT CERT_FOLDER]
# WINEPREFIX must be set and the Wine server running.
set -euo pipefail
linux_mbus=$1 windows_mbus=$2 wine=$3 work=$4 port=$5 tls_port=${6:-} certs=${7:-}
mkdir -p "$work"
device=tcp://127.0.0.1:$port

# A peer that accepts connections and never answers, for 120 s at most; prints its port.
perl -MIO::Socket::INET -e '$| = 1; alarm 120;
  my $s = IO::Socket::INET->new(Listen => 8, LocalAddr => "127.0.0.1", LocalPort => 0, ReuseAddr => 1) or die "$!";
  print $s->sockport, "\n"; my @held; while (my $c = $s->accept) { push @held, $c }' >"$work/silent.port" &
silent_pid=$!
trap 'kill "$silent_pid" 2>/dev/null || true; wait "$silent_pid" 2>/dev/null || true' EXIT
for _ in $(seq 100); do
  [ -s "$work/silent.port" ] && break
  sleep 0.05
done
silent=tcp://127.0.0.1:$(cat "$work/silent.port")

# normalise RAW OUT: Linux line ends, and the time stamps of a watch as TIME.
normalise() { perl -pe 's/\r\n/\n/g; s/\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z/TIME/g' "$1" >"$2"; }

# run NAME SIDE ARGS...: output files $work/NAME-SIDE.{out,err,status}.
run() {
  local name=$1 side=$2 status=0
  shift 2
  local program=("$linux_mbus")
  [ "$side" = linux ] || program=("$wine" "$windows_mbus")
  timeout 60 "${program[@]}" "$@" </dev/null >"$work/$name-$side.raw-out" 2>"$work/$name-$side.raw-err" || status=$?
  echo "$status" >"$work/$name-$side.status"
}

# interrupted NAME SIDE ARGS...: a watch, stopped once two polls have failed.
interrupted() {
  local name=$1 side=$2 status=0 signal=TERM
  shift 2
  local program=("$linux_mbus")
  [ "$side" = linux ] || { program=("$wine" "$windows_mbus"); signal=INT; }
  "${program[@]}" "$@" </dev/null >"$work/$name-$side.raw-out" 2>"$work/$name-$side.raw-err" &
  local pid=$!
  for _ in $(seq 300); do
    [ "$(grep -c "result" "$work/$name-$side.raw-err" || true)" -ge 2 ] && break
    sleep 0.05
  done
  kill -"$signal" "$pid" || true
  wait "$pid" || status=$?
  echo "$status" >"$work/$name-$side.status"
  # How many polls failed depends on timing: only the last line is compared.
  tail -n 1 "$work/$name-$side.raw-err" >"$work/$name-$side.last-err"
  mv "$work/$name-$side.last-err" "$work/$name-$side.raw-err"
}

failures=0
compare() { # compare NAME EXPECTED_STATUS
  local name=$1 part
  for side in linux windows; do
    normalise "$work/$name-$side.raw-out" "$work/$name-$side.out"
    normalise "$work/$name-$side.raw-err" "$work/$name-$side.err"
  done
  for part in out err status; do
    if cmp -s "$work/$name-linux.$part" "$work/$name-windows.$part"; then
      echo "ok: mbus $name: same $part on Linux and Windows"
    else
      echo "FAIL: mbus $name: $part differs between Linux and Windows"
      diff "$work/$name-linux.$part" "$work/$name-windows.$part" | head -20 || true
      failures=$((failures + 1))
    fi
  done
  if [ "$(cat "$work/$name-windows.status")" != "$2" ]; then
    echo "FAIL: mbus $name: exit status $(cat "$work/$name-windows.status"), expected $2"
    failures=$((failures + 1))
  fi
}

# name, expected status, arguments; each side runs right after the other on the same device.
cases=(
  "read 0 read $device holding 1 --count 5"
  "write 0 write $device holding 41 -7 0x1234 --type int16"
  "read-back 0 read $device holding 41 --count 2 -f csv"
  "float 0 read $device input 1 --count 2 --type float --order abcd -f json"
  "refused 2 read tcp://127.0.0.1:1 holding 1 --timeout 500"
  "bad-address 1 read $device holding 70000"
)
for entry in "${cases[@]}"; do
  read -r name expected arguments <<<"$entry"
  read -r -a arguments <<<"$arguments"
  run "$name" linux "${arguments[@]}"
  run "$name" windows "${arguments[@]}"
  compare "$name" "$expected"
done
# The write must have reached the device.
if ! grep -q "^41,FFF9,-7$" "$work/read-back-windows.out"; then
  echo "FAIL: mbus read-back: the written values are not there"
  failures=$((failures + 1))
fi

# The same certificate files by their Linux and their Wine (drive Z:) names.
if [ -n "$tls_port" ]; then
  tls=(read "tls://127.0.0.1:$tls_port" input 1 --count 4 --pfx CERTS/rsa-master.pfx --password secret)
  for side in linux windows; do
    folder=$certs
    [ "$side" = linux ] || folder="Z:$(tr / '\\' <<<"$certs")"
    run tls "$side" "${tls[@]//CERTS/$folder}" --ca "$folder/rsa-ca.pem"
    run untrusted "$side" "${tls[@]//CERTS/$folder}" --ca "$folder/ca.pem"
  done
  compare tls 0
  compare untrusted 2
  if ! grep -q "Server certificate not trusted (result 82)" "$work/untrusted-windows.err"; then
    echo "FAIL: mbus untrusted: no result 82"
    failures=$((failures + 1))
  fi
fi

watch=(watch "$silent" holding 1 --interval 100 --timeout 300 --retries 0 -f csv)
interrupted interrupt linux "${watch[@]}"
interrupted interrupt windows "${watch[@]}"
compare interrupt 3
exit $((failures != 0))
