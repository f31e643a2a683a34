#!/usr/bin/env bash
# The machine the figures below come from, so that each can be traced to it:
# the CPU model, its cores, the vector extensions the kernel reports, and
# the constant-gain kernel the plug-ins pick here at load time. The governor
# is the plug-in with a choice (ScaleSamples: 512-bit AVX-512F on AMD, else
# 256-bit AVX, else 128-bit SSE; scalar VFP on armhf); the delay and the
# sound meter run the same per-sample code everywhere. The choice is read
# from post_processors_bench, which links the same processor code, and so
# makes the same choice when loaded on this machine.
set -euo pipefail
build="${VORN_BENCH_BUILD:?run through scripts/bench}"

cpu_field() {  # the first /proc/cpuinfo value of the fields named in $1
  grep -m1 -E "^($1)[[:space:]]*:" /proc/cpuinfo 2>/dev/null | cut -d: -f2- |
    sed 's/^ *//'
}
model="$(cpu_field 'model name|Hardware|Processor|cpu model')"
flags=" $(cpu_field 'flags|Features') "
extensions=""
for flag in sse2 sse4_2 avx avx2 fma avx512f avx512vl avx512bw neon asimd \
            vfpv3 vfpv4; do
  case "$flags" in *" $flag "*) extensions+="${extensions:+ }$flag" ;; esac
done

bits="?"
if [ -x "$build/bench/post_processors_bench" ]; then
  # Columns of the CSV: ..., error_message, then the counters ("samples",
  # "vector_bits") in name order; the header line names them.
  bits="$("$build/bench/post_processors_bench" \
    --benchmark_filter='^BM_GovernorConstantGain$' \
    --benchmark_min_time=0.001 --benchmark_format=csv 2>/dev/null |
    awk -F, '/^name,/ { for (i = 1; i <= NF; i++) if ($i ~ /^"?vector_bits"?$/) c = i }
             /^"BM_GovernorConstantGain"/ && c { print $c + 0 }')" || true
fi
case "$bits" in
  512) kernel="512-bit (AVX-512F)" ;;
  256) kernel="256-bit (AVX)" ;;
  128) kernel="128-bit (SSE)" ;;
  32) kernel="scalar (VFP)" ;;
  *) kernel="unknown (post_processors_bench not built)" ;;
esac

echo "== machine"
printf '%-24s %s\n' "CPU" "${model:-$(uname -m)}"
printf '%-24s %s online, %s configured\n' "cores" "$(nproc)" "$(nproc --all)"
printf '%-24s %s\n' "vector extensions" "${extensions:-none reported}"
printf '%-24s %s\n' "kernel" "$(uname -srm)"
printf '%-24s %s\n' "governor plug-in" "constant-gain kernel $kernel"
printf '%-24s %s\n' "delay, sound meter" "no kernel choice (same scalar code on every CPU)"
