#!/usr/bin/env bash
# The figures of tessel-call load against the local service: calls/s, p50
# and p99 for 1, 8, 32 and 64 clients of a small read (GetLogCount), a small
# write (PutLog) and a 64 KiB read (GetVOContent), with the processor time
# per call of the load generator (its own getrusage, in its JSON report)
# beside the service's (utime + stime of /proc/PID/stat), and the check that
# no write is lost (after the PutLog loads, GetLogCount grew by the puts that
# succeeded). Prints a Markdown table.
#
#   testing/bench/load_figures.sh [BIN_DIR] [SECONDS]     (default build/bin, 3)
#
# Run it on a quiet machine; on a shared one, under its lock:
#   flock /tmp/tessel-cpu.lock testing/bench/load_figures.sh
set -euo pipefail

bin=$(cd "${1:-build/bin}" && pwd)
seconds=${2:-3}
work=$(mktemp -d "${TMPDIR:-/tmp}/tessel-load-figures-XXXXXX")
service_pid=
cleanup() {
  if [ -n "$service_pid" ]; then kill "$service_pid" 2>/dev/null || true; wait "$service_pid" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT

"$bin/TesselServiceLocal" --port 0 >"$work/service.out" &
service_pid=$!
for _ in $(seq 100); do
  grep -q '^listening on' "$work/service.out" 2>/dev/null && break
  sleep 0.05
done
port=$(sed -n 's|^listening on http://127.0.0.1:\([0-9]*\)/.*|\1|p' "$work/service.out")
[ -n "$port" ] || { echo "load_figures: the service did not start" >&2; exit 1; }
export TESSEL_PASSWORD=tester
call=("$bin/tessel-call" --uri "http://127.0.0.1:$port/TesselService/TesselServiceCore.xml" --user tester)
ticks=$(getconf CLK_TCK)

# The 64 KiB content the large read reads.
python3 -c 'import sys; sys.stdout.write("<content>" + "x" * (65536 - 19) + "</content>")' >"$work/big.txt"
printf 'PutVOContent name=Big content=@big.txt\nexpect result ~ Big\n' >"$work/setup.tcall"
"${call[@]}" run "$work/setup.tcall" >/dev/null

printf 'GetLogCount\nexpect result ~ ^[0-9]+$\n' >"$work/read.tcall"
printf 'PutLog log="<log>a load of writes</log>"\nexpect result ~ ^[0-9]+$\n' >"$work/write.tcall"
printf 'GetVOContent name=Big\nexpect result length 65536\n' >"$work/read64k.tcall"

service_cpu() { awk '{print $14 + $15}' "/proc/$service_pid/stat"; }
log_count() { "${call[@]}" GetLogCount 2>/dev/null; }

before_writes=$(log_count)
puts=0
echo "| workload | clients | calls/s | p50 ms | p99 ms | errors | generator CPU µs/call | service CPU µs/call | generator/service |"
echo "|---|---|---|---|---|---|---|---|---|"
for workload in read write read64k; do
  for clients in 1 8 32 64; do
    start=$(service_cpu)
    "${call[@]}" load "$work/$workload.tcall" --clients "$clients" --duration "$seconds" \
      --report-json "$work/r.json" >/dev/null 2>"$work/err" || { cat "$work/err" >&2; exit 1; }
    end=$(service_cpu)
    python3 - "$work/r.json" "$workload" "$clients" "$start" "$end" "$ticks" "$work/ok" <<'PY'
import json, sys
j = json.load(open(sys.argv[1]))
workload, clients, start, end, ticks = sys.argv[2], sys.argv[3], float(sys.argv[4]), float(sys.argv[5]), float(sys.argv[6])
names = {"read": "small read (`GetLogCount`)", "write": "small write (`PutLog`)", "read64k": "64 KiB read (`GetVOContent`)"}
t = j["total"]
calls = max(1, t["calls"])
service = (end - start) / ticks * 1e6 / calls
mine = j["cpuMicrosPerCall"]
print(f"| {names[workload]} | {clients} | {t['callsPerSecond']:.0f} | {t['latencyMs']['p50']:.3f} | "
      f"{t['latencyMs']['p99']:.3f} | {t['errors']['total']} | {mine:.0f} | {service:.0f} | "
      f"{mine / service if service else 0:.2f}× |")
open(sys.argv[7], "w").write(str(t["calls"] - t["errors"]["total"]))
PY
    if [ "$workload" = write ]; then puts=$((puts + $(cat "$work/ok"))); fi
  done
done
after_writes=$(log_count)
lost=$((before_writes + puts - after_writes))
echo
echo "writes: $puts PutLog calls succeeded; GetLogCount went from $before_writes to $after_writes; lost: $lost"
[ "$lost" -eq 0 ]
