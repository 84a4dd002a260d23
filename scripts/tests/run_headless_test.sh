#!/usr/bin/env bash
# The run command without a display, on a free port: every tool's session goes
# through, screenshots land in a fresh folder, and a failing session makes the
# command fail, as does a build with no tour to run.
#   run_headless_test.sh BUILD_DIR
set -euo pipefail
build=$(cd "$1" && pwd)
top=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export XDG_DATA_HOME="$work/home" TESSEL_SKIP_SETUP=1 TESSEL_BUILD_DIR="$build" TESSEL_PORT=0
unset DISPLAY WAYLAND_DISPLAY

mkdir -p "$work/shots/stale"
TESSEL_SCREENSHOTS="$work/shots" "$top/scripts/run.sh" >"$work/out.txt" 2>&1 || { cat "$work/out.txt"; exit 1; }
cat "$work/out.txt"
[ ! -e "$work/shots/stale" ] || { echo "old screenshots were left"; exit 1; }
for tool in $("$build/bin/tessel-tour" --list); do
  ls "$work/shots/$tool"/*-box-*.png >/dev/null || { echo "no message boxes saved for $tool"; exit 1; }
  ls "$work/shots/$tool"/*-logged-out.png >/dev/null || { echo "no last picture for $tool"; exit 1; }
  grep -q "^$tool: .* rows: " "$work/out.txt" || { echo "no summary for $tool"; exit 1; }
done

# A tour against a service that is not there fails, and says so.
if QT_QPA_PLATFORM=offscreen "$build/bin/tessel-tour" TSTestTool3 --port 1 --out "$work/dead" >"$work/dead.txt" 2>&1; then
  echo "a tour of a missing service succeeded"; cat "$work/dead.txt"; exit 1
fi
grep -q "connect: failed" "$work/dead.txt" || { cat "$work/dead.txt"; exit 1; }
# A build without the tour programs fails; it does not report no sessions as a success.
mkdir -p "$work/empty/bin"
if TESSEL_BUILD_DIR="$work/empty" TESSEL_SCREENSHOTS="$work/none" "$top/scripts/run.sh" >"$work/empty.txt" 2>&1; then
  echo "the run command succeeded with no tool built"; cat "$work/empty.txt"; exit 1
fi
grep -q "build the kit first" "$work/empty.txt" || { cat "$work/empty.txt"; exit 1; }
echo "run command: ok"
