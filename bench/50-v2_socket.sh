#!/usr/bin/env bash
# Framed-socket row: messages per second through V2Socket (send, frame,
# read, parse, over the event loop) against a plain write/read loop moving
# the same framed bytes, for 64-byte and 4 KiB payloads. Each benchmark
# iteration moves a batch of 256 messages; medians and the spread (coefficient
# of variation) of repeated runs, measured in the same run.
set -euo pipefail
build="${VORN_BENCH_BUILD:?run through scripts/bench}"
bench="$build/bench/v2_socket_bench"
reps="${VORN_BENCH_REPETITIONS:-10}"

echo "== framed messages over a Unix socket pair (batches of 256, median of $reps runs)"
"$bench" --benchmark_format=csv --benchmark_repetitions="$reps" \
  --benchmark_min_time="${VORN_BENCH_MIN_TIME:-0.2}" \
  --benchmark_report_aggregates_only=true 2>/dev/null |
  awk -F, '
    # "BM_V2Socket/64/real_time_median",iterations,real_time,cpu_time,
    # time_unit,bytes_per_second,items_per_second,...
    /^"BM_/ {
      gsub(/"/, "", $1)
      split($1, part, "/")
      kind = substr(part[1], 4); aggregate = part[3]; sub(/.*_/, "", aggregate)
      key = kind "/" part[2]
      if (aggregate == "median") rate[key] = $7
      if (aggregate == "cv") cv[key] = $7 * 100  # of the message rate
    }
    END {
      printf "%-18s %14s %7s %14s %7s %9s\n", "payload", "V2Socket msg/s", "spread",
             "plain msg/s", "spread", "ratio"
      n = split("64 4096", sizes, " ")
      for (i = 1; i <= n; ++i) {
        s = sizes[i]; v = "V2Socket/" s; p = "PlainLoop/" s
        label = (s == 64) ? "64 B" : "4 KiB"
        printf "%-18s %14.0f %6.1f%% %14.0f %6.1f%% %8.2fx\n", label, rate[v], cv[v],
               rate[p], cv[p], rate[v] / rate[p]
      }
    }'
