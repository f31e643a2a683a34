#!/usr/bin/env bash
# Plug-in rows: each processor against memcpy of the same 256-frame stereo
# buffer, then vorn_audio_host against sox on the same jobs over a ten-minute
# stereo 48 kHz file made here in a temporary directory.
#
# Every processor row times batches of 64 blocks (bench/post_processors_bench.cc)
# in CPU time, repeated VORN_BENCH_REPETITIONS times (default 15) in random
# order; a row shows the median time per sample, the spread of the runs,
# (slowest - fastest) / median, and its speed relative to memcpy from the
# medians and, as a check on a busy machine, from the fastest runs. The
# vector width of each side is printed: the processor's from the benchmark,
# memcpy's as glibc chooses it on this machine.
set -euo pipefail
build="${VORN_BENCH_BUILD:?run through scripts/bench}"
bench="$build/bench/post_processors_bench"
host="$build/tools/vorn_audio_host/vorn_audio_host"
plugins="$build/src/post_processors"
repetitions="${VORN_BENCH_REPETITIONS:-15}"

# The vector width of glibc's memcpy here, following glibc's own choice
# (its memmove selector, glibc 2.3x): 512 bits with usable AVX-512F and VL
# unless glibc prefers not to use AVX-512, 256 with fast unaligned AVX loads,
# else 128. The preferences come from ld.so --list-diagnostics.
memcpy_bits() {
  local loader diagnostics
  [ "$(uname -m)" = x86_64 ] || { echo "?"; return; }
  loader=/lib64/ld-linux-x86-64.so.2
  diagnostics="$("$loader" --list-diagnostics 2>/dev/null)" || {
    echo "?"
    return
  }
  preferred() {
    grep -oE "preferred\.$1=0x[0-9a-f]+" <<<"$diagnostics" | cut -d= -f2
  }
  if grep -qw avx512f /proc/cpuinfo && grep -qw avx512vl /proc/cpuinfo &&
     [ "$(preferred Prefer_No_AVX512)" = 0x0 ] &&
     [ "$(preferred Prefer_ERMS)" = 0x0 ] &&
     [ "$(preferred Prefer_FSRM)" = 0x0 ]; then
    echo 512
  elif [ "$(preferred AVX_Fast_Unaligned_Load)" = 0x1 ]; then
    echo 256
  else
    echo 128
  fi
}

echo "== audio post-processors (256-frame stereo blocks, 48000 Hz;" \
  "64 blocks per timed iteration, CPU time, $repetitions runs)"
"$bench" --benchmark_format=csv --benchmark_min_time=0.05 \
  --benchmark_repetitions="$repetitions" \
  --benchmark_enable_random_interleaving=true 2>/dev/null |
  awk -F, -v memcpy_bits="$(memcpy_bits)" '
    # Columns: name, iterations, real_time, cpu_time, time_unit,
    # bytes_per_second, items_per_second, label, error_occurred,
    # error_message, vector_bits. Aggregate rows (_mean, ...) are skipped:
    # the median and spread are taken here from the runs themselves.
    /^"BM_/ {
      gsub(/"/, "", $1)
      if ($1 ~ /_(mean|median|stddev|cv)$/ || $9 == "true") next
      if (!($1 in count)) order[++rows] = $1
      ns[$1, ++count[$1]] = 1e9 / $7
      bits[$1] = $11
    }
    function median(name,   n, i, j, t, v) {
      n = count[name]
      for (i = 1; i <= n; ++i) v[i] = ns[name, i]
      for (i = 2; i <= n; ++i)
        for (j = i; j > 1 && v[j - 1] > v[j]; --j) {
          t = v[j]; v[j] = v[j - 1]; v[j - 1] = t
        }
      low[name] = v[1]; high[name] = v[n]
      return n % 2 ? v[(n + 1) / 2] : (v[n / 2] + v[n / 2 + 1]) / 2
    }
    END {
      if (!("BM_Memcpy" in count)) { print "(no memcpy row)"; exit 1 }
      for (i = 1; i <= rows; ++i) med[order[i]] = median(order[i])
      # Rows in this order, whatever order the runs came in.
      n = split("BM_Memcpy BM_GovernorConstantGain BM_ConstantGainKernel4 " \
                "BM_ConstantGainKernel8 BM_ConstantGainKernel16 " \
                "BM_GovernorRamp BM_DelayOneChannel " \
                "BM_DelayBothChannels BM_Meter", shown, " ")
      for (i = 1; i <= rows; ++i) {
        listed = 0
        for (j = 1; j <= n; ++j) if (shown[j] == order[i]) listed = 1
        if (!listed && order[i] != "BM_Harness") shown[++n] = order[i]
      }
      label["BM_Memcpy"] = "memcpy (glibc)"
      label["BM_GovernorConstantGain"] = "governor, constant gain"
      label["BM_ConstantGainKernel4"] = "  constant-gain kernel, 4 floats"
      label["BM_ConstantGainKernel8"] = "  constant-gain kernel, 8 floats"
      label["BM_ConstantGainKernel16"] = "  constant-gain kernel, 16 floats"
      label["BM_GovernorRamp"] = "governor, ramp every block"
      label["BM_DelayOneChannel"] = "delay, one channel"
      label["BM_DelayBothChannels"] = "delay, both channels"
      label["BM_Meter"] = "sound meter"
      m = med["BM_Memcpy"]
      if ("BM_Harness" in count) {
        printf "the batch loop\047s own cost: %.2f%% of the memcpy row\n",
          100 * med["BM_Harness"] / m
      }
      printf "%-34s %8s %11s %8s %9s %9s\n", "processor", "vector",
        "ns/sample", "spread", "x memcpy", "(fastest)"
      for (i = 1; i <= n; ++i) {
        k = shown[i]
        if (!(k in count)) continue
        width = k == "BM_Memcpy" ? memcpy_bits : bits[k]
        name = k in label ? label[k] : substr(k, 4)
        printf "%-34s %5s bit %11.4f %7.1f%% %8.2fx %8.2fx\n", name, width,
          med[k], 100 * (high[k] - low[k]) / med[k], m / med[k],
          low["BM_Memcpy"] / low[k]
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

runs=5
# Runs the command $runs times; prints the median wall-clock time in seconds
# and the spread, (slowest - fastest) / median, in percent.
median_time() {
  local t0 t1
  for _ in $(seq "$runs"); do
    t0=$(date +%s.%N)
    "$@" >/dev/null 2>&1
    t1=$(date +%s.%N)
    echo "$t1 - $t0" | bc -l
  done | sort -g | awk '
    { v[NR] = $1 }
    END {
      m = NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2
      printf "%.6f %.1f\n", m, 100 * (v[NR] - v[1]) / m
    }'
}

row() {
  local job="$1" host_m host_s sox_m sox_s
  read -r host_m host_s <<<"$2"
  read -r sox_m sox_s <<<"$3"
  printf "%-26s %9.3f s %6.1f%% %9.3f s %6.1f%% %8.2fx\n" "$job" "$host_m" \
    "$host_s" "$sox_m" "$sox_s" "$(echo "$sox_m / $host_m" | bc -l)"
}

echo "== vorn_audio_host against sox (10 min stereo 48 kHz WAV," \
  "median of $runs runs, wall clock)"
printf "%-26s %11s %7s %11s %7s %9s\n" "job" "host" "spread" "sox" "spread" \
  "sox/host"
g=$(median_time "$host" --input="$tmp/in.wav" --output="$tmp/gain.wav" \
  --plugin="$plugins/libvorn_governor_2.0.so" \
  --config='{"onset_volume": 0, "clamp_multiplier": 0.5}')
s=$(median_time sox "$tmp/in.wav" "$tmp/gain_sox.wav" vol 0.5)
row "gain 0.5" "$g" "$s"
g=$(median_time "$host" --input="$tmp/in.wav" --output="$tmp/delay.wav" \
  --plugin="$plugins/libvorn_delay_2.0.so" --config='{"delay_us": [0, 1000]}')
s=$(median_time sox "$tmp/in.wav" "$tmp/delay_sox.wav" delay 0 0.001)
row "delay 0 / 1 ms" "$g" "$s"
g=$(median_time "$host" --input="$tmp/in.wav" \
  --plugin="$plugins/libvorn_sound_meter_2.0.so" --config='{"name": "bench"}')
s=$(median_time sox "$tmp/in.wav" -n stats)
row "meter (no output file)" "$g" "$s"
