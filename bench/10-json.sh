#!/usr/bin/env bash
# JSON rows: parse and compact-write throughput against RapidJSON's DOM and
# nlohmann::json on the shared documents, and our bytes allocated per parse.
set -euo pipefail
build="${VORN_BENCH_BUILD:?VORN_BENCH_BUILD is not set}"
data="${VORN_BENCH_DATA:-$(cd "$(dirname "$0")/../.." && pwd)/shared/bench-data}"
if [ ! -d "$data/json" ]; then
  echo "json: no documents in $data/json, skipped"
  exit 0
fi
VORN_BENCH_DATA="$data" "$build/bench/json_bench" --table \
  --benchmark_min_time="${VORN_BENCH_MIN_TIME:-0.5}"
