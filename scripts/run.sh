#!/usr/bin/env bash
# Sets up and runs the kit's main job: builds the kit, starts the local
# TesselService and opens the launcher of the tools on it (or the tool named),
# ready to Connect and log in as tester/tester. Without a display it runs a
# scripted session of every tool offscreen instead (or of the tool named),
# each on a fresh local service, saves screenshots and says how each went.
#
#   ./scripts/run.sh [TOOL]
#
# TESSEL_PORT: the service's port with a display (8080; 0 picks a free one).
# TESSEL_SCREENSHOTS: where the offscreen sessions save their pictures (./screenshots).
# TESSEL_SKIP_SETUP=1: use the existing build in ${TESSEL_BUILD_DIR:-build}; install and build nothing.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${TESSEL_BUILD_DIR:-build}
if [ "${TESSEL_SKIP_SETUP:-0}" != 1 ]; then
  ./scripts/install-deps.sh
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build "$build" -j "$(nproc)"
fi
bin=$build/bin

service=""
log=$(mktemp -t tessel-service.XXXXXX.log)
stop_service() {
  if [ -n "$service" ]; then
    kill "$service" 2>/dev/null || true
    wait "$service" 2>/dev/null || true
  fi
  service=""
}
trap 'stop_service; rm -f "$log"' EXIT

# Starts the service on port $1 and sets $port to the port it listens on.
start_service() {
  # Emptied here, not only by the redirection: the child truncates the file
  # only once it runs, and until then this loop would read the line the
  # previous service wrote and take its port, where nothing listens now.
  : >"$log"
  "$bin/TesselServiceLocal" --port "$1" >"$log" 2>&1 &
  service=$!
  local first=""
  for _ in $(seq 100); do
    first=$(head -n 1 "$log")
    case "$first" in listening\ on\ *) break ;; esac
    if ! kill -0 "$service" 2>/dev/null; then
      echo "TesselServiceLocal did not start:" >&2
      cat "$log" >&2
      exit 1
    fi
    sleep 0.1
  done
  case "$first" in
    listening\ on\ http://127.0.0.1:*/) ;;
    *) echo "TesselServiceLocal did not say where it listens: $first" >&2; exit 1 ;;
  esac
  port=${first#listening on http://127.0.0.1:}
  port=${port%/}
}

if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  start_service "${TESSEL_PORT:-8080}"
  echo "TesselServiceLocal is listening on http://127.0.0.1:$port/ (log in as tester, password tester)"
  if [ $# -gt 0 ]; then
    # The registry the build wrote: PROGRAM FAMILY DESCRIPTION-PATH a line.
    description_path=$(awk -v tool="$1" '$1 == tool { print $3 }' "$build/tools.txt")
    if [ -z "$description_path" ]; then
      echo "There is no tool $1; the tools are: $(cut -d' ' -f1 "$build/tools.txt" | tr '\n' ' ')" >&2
      exit 2
    fi
    description="http://localhost:$port$description_path"
    echo "Opening $1 on $description: press Connect, then CreateTicket with user tester and password tester."
    "$bin/$1" --uri "$description"
  else
    echo "Opening tessel-kit: start any tool from it; log in with user tester and password tester."
    "$bin/tessel-kit" --port "$port"
  fi
  exit 0
fi

out=${TESSEL_SCREENSHOTS:-$PWD/screenshots}
rm -rf "$out"
mkdir -p "$out"
if [ ! -x "$bin/tessel-tour" ]; then
  echo "There is no $bin/tessel-tour: build the kit first (./scripts/run.sh without TESSEL_SKIP_SETUP=1 does)." >&2
  exit 1
fi
if [ $# -gt 0 ]; then tools=("$1"); else mapfile -t tools < <("$bin/tessel-tour" --list); fi
if [ ${#tools[@]} -eq 0 ]; then
  echo "$bin/tessel-tour --list named no tool." >&2
  exit 1
fi
echo "No display here: running a scripted session of each tool offscreen (connect, login, every row, logout),"
echo "each on a fresh TesselServiceLocal."
failed=0
for tool in "${tools[@]}"; do
  start_service 0
  rc=0
  QT_QPA_PLATFORM=offscreen "$bin/tessel-tour" "$tool" --port "$port" --out "$out/$tool" >"$out/$tool.txt" 2>&1 || rc=$?
  stop_service
  grep -E "^$tool: (.* rows: |(connect|login): failed)" "$out/$tool.txt" || true
  if [ "$rc" -ne 0 ]; then
    failed=1
    echo "$tool: the session did not go through (exit $rc); its steps are in $out/$tool.txt" >&2
  fi
done
echo "Screenshots of every window and message box are in $out/TOOL/."
if [ "$failed" != 0 ]; then
  echo "Some sessions failed (see above)." >&2
  exit 1
fi
echo "Next: on a desktop, ./scripts/run.sh opens the launcher (./scripts/run.sh TOOL one tool);"
echo "./scripts/test.sh runs the tests."
