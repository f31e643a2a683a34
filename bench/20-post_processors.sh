#!/usr/bin/env bash
# Plug-in rows: each processor against memcpy of the same 256-frame stereo
# buffer, then vorn_audio_host against sox on the same jobs over a ten-minute
# stereo 48 kHz file made here in a temporary directory.
set -euo pipefail
build="${VORN_BENCH_BUILD:?run through scripts/bench}"
bench="$build/bench/post_processors_bench"
host="$build/tools/vorn_audio_host/vorn_audio_host"
plugins="$build/src/post_processors"

echo "== audio post-processors (256-frame stereo blocks, 48000 Hz)"
"$bench" --benchmark_format=csv --benchmark_min_time=0.2 2>/dev/null |
  awk -F, '
    /^"BM_/ { gsub(/"/, "", $1); name[++n] = $1; ns[$1] = $4 / 512 }
    END {
      printf "%-34s %12s %14s\n", "processor", "ns/sample", "x memcpy speed"
      for (i = 1; i <= n; ++i) {
        k = name[i]
        printf "%-34s %12.4f %14.2f\n", substr(k, 4), ns[k], ns["BM_Memcpy"] / ns[k]
      }
    }'

if ! command -v sox >/dev/null; then
  echo "(sox not installed: host-versus-sox rows skipped)"
  exit 0
fi

tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT
"$host" --generate-tone=440 --seconds=600 --rate=48000 --channels=2 \
  --output="$tmp/in.wav"

# Best wall-clock time of three runs, in seconds.
best_of_3() {
  local best="" t0 t1 t
  for _ in 1 2 3; do
    t0=$(date +%s.%N)
    "$@" >/dev/null 2>&1
    t1=$(date +%s.%N)
    t=$(echo "$t1 - $t0" | bc -l)
    if [ -z "$best" ] || [ "$(echo "$t < $best" | bc -l)" = 1 ]; then best=$t; fi
  done
  echo "$best"
}

row() {
  local job="$1" host_s="$2" sox_s="$3"
  printf "%-34s %9.3f s %9.3f s %8.2fx\n" "$job" "$host_s" "$sox_s" \
    "$(echo "$sox_s / $host_s" | bc -l)"
}

echo "== vorn_audio_host against sox (10 min stereo 48 kHz WAV, best of 3)"
printf "%-34s %11s %11s %9s\n" "job" "host" "sox" "sox/host"
g=$(best_of_3 "$host" --input="$tmp/in.wav" --output="$tmp/gain.wav" \
  --plugin="$plugins/libvorn_governor_2.0.so" \
  --config='{"onset_volume": 0, "clamp_multiplier": 0.5}')
s=$(best_of_3 sox "$tmp/in.wav" "$tmp/gain_sox.wav" vol 0.5)
row "gain 0.5" "$g" "$s"
g=$(best_of_3 "$host" --input="$tmp/in.wav" --output="$tmp/delay.wav" \
  --plugin="$plugins/libvorn_delay_2.0.so" --config='{"delay_us": [0, 1000]}')
s=$(best_of_3 sox "$tmp/in.wav" "$tmp/delay_sox.wav" delay 0 0.001)
row "delay 0 / 1 ms" "$g" "$s"
g=$(best_of_3 "$host" --input="$tmp/in.wav" \
  --plugin="$plugins/libvorn_sound_meter_2.0.so" --config='{"name": "bench"}')
s=$(best_of_3 sox "$tmp/in.wav" -n stats)
row "meter (no output file)" "$g" "$s"
