#!/usr/bin/env bash
# vorn_cli start-up: wall-clock time of `vorn_cli --version` and of an
# unknown command (usage text, log line) against a trivial C program, timed
# by hyperfine (warm-up, then the median and spread of many runs).
set -euo pipefail
build="${VORN_BENCH_BUILD:?}"
# shellcheck source=bench/timing.bash
source "$(dirname "$0")/timing.bash"
timing_available || exit 0
cli="$build/src/vorn_package/vorn_cli"
tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT
printf 'int main(void) { return 0; }\n' > "$tmp/trivial.c"
cc -O2 -o "$tmp/trivial" "$tmp/trivial.c"

runs=300
timing_run "$tmp/t.json" "$runs" 30 "$tmp/trivial" "$cli --version" \
  "$cli no such command"
read -r t_med t_min t_max _ < <(timing_stats "$tmp/t.json" 0)
read -r v_med v_min v_max _ < <(timing_stats "$tmp/t.json" 1)
read -r u_med u_min u_max _ < <(timing_stats "$tmp/t.json" 2)
echo
echo "vorn_cli start-up (hyperfine, $runs runs after 30 warm-up, microseconds)"
printf '%-34s %10s %15s %10s\n' "case" "median us" "min..max" "x trivial"
printf '%-34s %10d %15s %10s\n' "trivial C program" "$t_med" "$t_min..$t_max" "1.00"
printf '%-34s %10d %15s %10s\n' "vorn_cli --version" "$v_med" "$v_min..$v_max" \
  "$(ratio "$v_med" "$t_med")"
printf '%-34s %10d %15s %10s\n' "vorn_cli unknown command + usage" "$u_med" \
  "$u_min..$u_max" "$(ratio "$u_med" "$t_med")"
