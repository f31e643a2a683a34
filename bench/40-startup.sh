#!/usr/bin/env bash
# vorn_cli start-up: wall-clock time of `vorn_cli --version` and of an
# unknown command (usage text, log line) against a trivial C program, over
# many runs, best of five rounds.
set -euo pipefail
build="${VORN_BENCH_BUILD:?}"
cli="$build/src/vorn_package/vorn_cli"
tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT
printf 'int main(void) { return 0; }\n' > "$tmp/trivial.c"
cc -O2 -o "$tmp/trivial" "$tmp/trivial.c"

runs=300
# Best of five rounds of `runs` executions, in microseconds per run.
per_run_us() {
  local best=""
  for _ in 1 2 3 4 5; do
    local start end
    start=$(date +%s%N)
    for ((i = 0; i < runs; i++)); do "$@" >/dev/null 2>&1 || true; done
    end=$(date +%s%N)
    local us=$(( (end - start) / 1000 / runs ))
    if [ -z "$best" ] || [ "$us" -lt "$best" ]; then best=$us; fi
  done
  echo "$best"
}

trivial=$(per_run_us "$tmp/trivial")
version=$(per_run_us "$cli" --version)
unknown=$(per_run_us "$cli" no such command)
echo
echo "vorn_cli start-up (best of 5 x $runs runs, microseconds per run)"
printf '%-34s %10s %10s\n' "case" "us/run" "x trivial"
printf '%-34s %10d %10s\n' "trivial C program" "$trivial" "1.00"
printf '%-34s %10d %10s\n' "vorn_cli --version" "$version" \
  "$(awk -v a="$version" -v b="$trivial" 'BEGIN { printf "%.2f", a / b }')"
printf '%-34s %10d %10s\n' "vorn_cli unknown command + usage" "$unknown" \
  "$(awk -v a="$unknown" -v b="$trivial" 'BEGIN { printf "%.2f", a / b }')"
