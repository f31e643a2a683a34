#!/usr/bin/env bash
# Package control rows, measured in this run:
#  1. A full cycle of `vorn_cli start vorn async` + `vorn_cli stop vorn` on
#     the process manager stand-in, against start-stop-daemon doing the same
#     job on the same stand-in (--start --background --make-pidfile, then
#     --stop --retry TERM/25). Our stop polls every 100 ms, which bounds it.
#  2. `vorn_cli --help` with the example process.json beside it (reads and
#     parses it, prints the service sections) against `vorn_cli --version`.
# The cycles run inside a PID namespace of their own (pid_namespace_run)
# when one can be made, so the stopped daemons are reaped at once: a zombie
# still answers signal 0, and start-stop-daemon would wait on it.
set -euo pipefail
build="${VORN_BENCH_BUILD:?run through scripts/bench}"
# shellcheck source=bench/timing.bash
source "$(dirname "$0")/timing.bash"
timing_available || exit 0
top="$(cd "$(dirname "$0")/.." && pwd)"
cli="$build/src/vorn_package/vorn_cli"
manager="$build/tools/process_manager/process_manager"
pidns="$build/tools/pid_namespace_run/pid_namespace_run"

if [ "${1:-}" != "--cycles" ]; then
  echo
  echo "== package control"
  if ! command -v start-stop-daemon >/dev/null; then
    echo "(start-stop-daemon not installed: start-stop row skipped)"
  elif [ -x "$pidns" ]; then
    # Without the rights for a namespace it says so and runs them directly.
    "$pidns" bash "$0" --cycles
  else
    bash "$0" --cycles
  fi

  # --- 2. --help against --version ------------------------------------------
  tmp="$(mktemp -d)"
  trap 'rm -rf "$tmp"' EXIT
  cp "$cli" "$tmp/vorn_cli"
  cp "$top/packaging/process.json" "$tmp/process.json"
  runs=300
  timing_run "$tmp/t.json" "$runs" 30 "$tmp/vorn_cli --version" \
    "$tmp/vorn_cli --help"
  read -r v_med v_min v_max _ < <(timing_stats "$tmp/t.json" 0)
  read -r h_med h_min h_max _ < <(timing_stats "$tmp/t.json" 1)
  printf '%-44s %10s %17s %10s\n' "vorn_cli (hyperfine, $runs runs)" \
    "median us" "min..max us" "x version"
  printf '%-44s %10d %17s %10s\n' "--version" "$v_med" "$v_min..$v_max" "1.00"
  printf '%-44s %10d %17s %10s\n' "--help with the example process.json" \
    "$h_med" "$h_min..$h_max" "$(ratio "$h_med" "$v_med")"
  exit 0
fi

# --- 1. start + stop cycles (run inside the namespace when there is one) -----
tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT
package="$tmp/package"
mkdir -p "$package"
cp "$cli" "$package/vorn_cli"
# A name of its own, so that start's scan for stale instances finds nothing
# of anyone else's.
cp "$manager" "$package/pm_bench_$$"
cat >"$package/process.json" <<EOF
[{"name": "process_manager", "command": ["\${DIR_EXE}/pm_bench_$$"]}]
EOF
export TMPDIR="$tmp"
cycles=20

# Each cycle is a small script, so that hyperfine times the pair of
# commands as one run; both sides pay the same bash start-up.
cat >"$tmp/ours.sh" <<SCRIPT
"$package/vorn_cli" start vorn async --log-wrapper-path= >/dev/null 2>&1
"$package/vorn_cli" stop vorn >/dev/null 2>&1
SCRIPT
cat >"$tmp/peer.sh" <<SCRIPT
start-stop-daemon --start --background --make-pidfile \\
  --pidfile "$tmp/peer.pid" --exec "$package/pm_bench_$$" -- >/dev/null
start-stop-daemon --stop --pidfile "$tmp/peer.pid" --retry TERM/25 >/dev/null
rm -f "$tmp/peer.pid"
SCRIPT
timing_run "$tmp/cycles.json" "$cycles" 2 "bash $tmp/ours.sh" \
  "bash $tmp/peer.sh"
# Milliseconds with one decimal: "median min max".
cycle_ms() {
  timing_stats "$tmp/cycles.json" "$1" |
    awk '{ printf "%.1f %.1f %.1f", $1 / 1000, $2 / 1000, $3 / 1000 }'
}

read -r ours_median ours_min ours_max <<<"$(cycle_ms 0)"
read -r peer_median peer_min peer_max <<<"$(cycle_ms 1)"
printf '%-44s %10s %17s %10s\n' "start + stop cycle (hyperfine, $cycles runs)" \
  "median ms" "min..max ms" "x peer"
printf '%-44s %10s %17s %10s\n' "start-stop-daemon (TERM/25)" "$peer_median" \
  "$peer_min..$peer_max" "1.00"
printf '%-44s %10s %17s %10s\n' "vorn_cli start vorn async + stop vorn" \
  "$ours_median" "$ours_min..$ours_max" \
  "$(awk -v a="$ours_median" -v b="$peer_median" 'BEGIN { printf "%.2f", a / b }')"
