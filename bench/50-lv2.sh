#!/usr/bin/env bash
# LV2 rows: the vorn.lv2 plug-ins measured side by side with the LV2 example
# amplifier (eg-amp, from Debian's lv2-examples) in one lv2bench run per
# repetition, at blocks of 64 and 256 frames, each plug-in at its default
# controls (the governor at a constant gain of 0.5, the delays at 0). eg-amp
# is mono, so speeds compare time per sample (frames x channels); the goal
# is a governor at least as fast as eg-amp. Each row is the median of the
# repetitions, with the spread of the per-run ratio.
set -euo pipefail
build="${VORN_BENCH_BUILD:?run through scripts/bench}"
bundle="$build/lv2/vorn.lv2"
amp=/usr/lib/lv2/eg-amp.lv2
frames=24000000
repetitions=7

if [ ! -e "$bundle/vorn.so" ] || ! command -v lv2bench >/dev/null ||
   [ ! -d "$amp" ]; then
  echo "(vorn.lv2, lv2bench or eg-amp missing: LV2 rows skipped)"
  exit 0
fi

tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT
# Only these two bundles on the path: one lv2bench run times exactly them.
ln -s "$bundle" "$tmp/vorn.lv2"
ln -s "$amp" "$tmp/eg-amp.lv2"

for block in 64 256; do
  for ((run = 1; run <= repetitions; run++)); do
    LV2_PATH="$tmp" lv2bench -f -b "$block" -n "$frames" 2>/dev/null |
      awk -v run="$run" '!/^#/ && NF == 4 { print run, $1, $2, $3, $4 }'
  done
done >"$tmp/times"

echo "== LV2 plug-ins against eg-amp in one lv2bench run ($frames frames," \
     "median of $repetitions runs)"
awk '
  function channels(uri) { return uri ~ /stereo$/ ? 2 : 1 }
  function short(uri) { sub(/^.*[:\/]/, "", uri); return uri }
  function median(list, n,    i, j, t, a) {
    split(list, a, " ")
    for (i = 1; i <= n; ++i)
      for (j = i + 1; j <= n; ++j)
        if (a[j] < a[i]) { t = a[i]; a[i] = a[j]; a[j] = t }
    return n % 2 ? a[(n + 1) / 2] : (a[n / 2] + a[n / 2 + 1]) / 2
  }
  # run block samples seconds uri
  { ns = $4 * 1e9 / ($3 * channels($5)); key = $2 " " $5
    t[$1 " " key] = ns; if (!(key in seen)) { seen[key] = 1; order[++k] = key } }
  END {
    printf "%-6s %-22s %11s %15s %16s\n", "block", "plug-in", "ns/sample",
           "x eg-amp speed", "ratio min..max"
    for (i = 1; i <= k; ++i) {
      split(order[i], f, " "); block = f[1]; uri = f[2]
      nsl = ""; rl = ""; n = 0; lo = ""; hi = ""
      for (run = 1; (run " " order[i]) in t; ++run) {
        amp = t[run " " block " http://lv2plug.in/plugins/eg-amp"]
        r = amp / t[run " " order[i]]
        nsl = nsl " " t[run " " order[i]]; rl = rl " " r; ++n
        if (lo == "" || r < lo) lo = r
        if (hi == "" || r > hi) hi = r
      }
      printf "%-6s %-22s %11.4f %15.2f %9.2f..%-6.2f\n", block, short(uri),
             median(nsl, n), median(rl, n), lo, hi
    }
  }' "$tmp/times"
