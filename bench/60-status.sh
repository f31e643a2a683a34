#!/usr/bin/env bash
# Status rows, each measured side by side in this run:
#   - wall time of `vorn_cli status` against a live vorn_shell_sim, against
#     `vorn_cli --version` (goal: at most 1.5x);
#   - one request round trip in process (SendRequest to answer) against a raw
#     socket ping-pong of the same frames (goal: at most 2x);
#   - peak resident memory of `vorn_cli status` against `vorn_cli --version`
#     (goal: at most 1 MiB more).
set -euo pipefail
build="${VORN_BENCH_BUILD:?run through scripts/bench}"
cli="$build/src/vorn_package/vorn_cli"
sim="$build/tools/vorn_shell_sim/vorn_shell_sim"
tmp="$(mktemp -d)"
sim_pid=""
cleanup() {
  if [ -n "$sim_pid" ]; then kill "$sim_pid" 2>/dev/null || true; wait "$sim_pid" 2>/dev/null || true; fi
  rm -rf "$tmp"
}
trap cleanup EXIT
export TMPDIR="$tmp"

"$sim" 2>/dev/null &
sim_pid=$!
for _ in $(seq 1 200); do [ -s "$tmp/vorn-cli-socket.path" ] && break; sleep 0.01; done
if ! "$cli" --quiet status; then
  echo "status: vorn_cli status failed against the stand-in; rows skipped"
  exit 0
fi

# Whole-process times with hyperfine: median and spread (min..max) of
# `runs` executions after a warm-up, in microseconds.
# shellcheck source=bench/timing.bash
source "$(dirname "$0")/timing.bash"
echo
if timing_available; then
  rounds=10 runs=20
  mkdir "$tmp/rounds"
  stats=$(timing_rounds "$tmp/rounds" "$rounds" "$runs" 5 "$cli status" "$cli --version")
  read -r s_med s_min s_max v_med v_min v_max r_med r_min r_max <<<"$stats"
  echo "== status (hyperfine: $rounds rounds of $runs runs each; median and min..max of"
  echo "   all runs; the ratio is the median of the rounds' ratios, with their range)"
  printf '%-44s %12s %18s %9s %6s\n' "row" "median" "spread" "ratio" "goal"
  printf '%-44s %9d us %8d..%-7d %9s %6s\n' "vorn_cli --version" "$v_med" "$v_min" "$v_max" "1.00" ""
  printf '%-44s %9d us %8d..%-7d %8sx %6s  (rounds %s..%s)\n' "vorn_cli status (live stand-in)" \
    "$s_med" "$s_min" "$s_max" "$r_med" "<=1.5x" "$r_min" "$r_max"
else
  echo "== status"
fi

# In-process round trip: Google Benchmark, 7 repetitions, batches of 100.
# Whether the peer thread shares a core with the caller changes a round trip
# by half, and the scheduler placed them differently from one benchmark to
# the next, so the ratio wandered between runs. Both run on one CPU, where
# every round trip is two context switches for either, and their repetitions
# are interleaved.
pin=()
if command -v taskset >/dev/null; then pin=(taskset -c 0); fi
"${pin[@]}" "$build/bench/status_bench" --benchmark_repetitions=7 \
  --benchmark_enable_random_interleaving=true \
  --benchmark_report_aggregates_only=true --benchmark_format=csv \
  --benchmark_min_time="${VORN_BENCH_MIN_TIME:-0.3}" 2>/dev/null |
  awk -F, '
    /^"BM_/ {
      gsub(/"/, "", $1)
      split($1, part, "/")
      name = part[1]; stat = $1; sub(/.*_/, "", stat)
      us = $3 / 100 / 1000   # real time per batch of 100, in ns -> us per trip
      if (stat == "median") median[name] = us
      if (stat == "stddev") stddev[name] = us
    }
    END {
      s = "BM_StatusServiceRoundTrip"; r = "BM_RawSocketPingPong"
      printf "%-44s %9.2f us %14s%-4.2f %9s %6s\n", "raw socket ping-pong (same frames)", median[r], "+-", stddev[r], "1.00", ""
      printf "%-44s %9.2f us %14s%-4.2f %8.2fx %6s\n", "SendRequest round trip (in process)", median[s], "+-", stddev[s], median[s] / median[r], "<=2x"
    }'

# Peak resident memory, median of 5 runs each, in KiB.
peak_kib() {
  for _ in 1 2 3 4 5; do
    /usr/bin/time -f %M "$@" 2>&1 >/dev/null | tail -n 1
  done | sort -n | sed -n 3p
}
if [ -x /usr/bin/time ]; then
  m_version=$(peak_kib "$cli" --version)
  m_status=$(peak_kib "$cli" --quiet status)
  printf '%-44s %9d KiB %17s %9s %6s\n' "peak RSS vorn_cli --version" "$m_version" "" "" ""
  printf '%-44s %9d KiB %17s %+8d KiB %6s\n' "peak RSS vorn_cli status" "$m_status" "" \
    "$((m_status - m_version))" "<=1024"
else
  echo "(/usr/bin/time missing: memory rows skipped)"
fi
