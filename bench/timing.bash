# Whole-process timings with hyperfine, for the bench/*.sh sections (sourced,
# not a section itself). Every figure is a median over many runs after a
# warm-up, with its spread, taken from hyperfine's JSON export.
#
#   source "$(dirname "$0")/timing.bash"
#   timing_available || exit 0
#   timing_run "$tmp/t.json" 300 30 "$tmp/trivial" "$cli --version"
#   read -r median min max stddev < <(timing_stats "$tmp/t.json" 1)
#
# Commands run without a shell (hyperfine -N): each is split at blanks, so
# paths must not hold any. Failing commands count like the others.

# True when hyperfine and python3 (which reads the JSON) are present; else
# prints a note for the table and returns false.
timing_available() {
  local tool
  for tool in hyperfine python3; do
    if ! command -v "$tool" >/dev/null; then
      echo "($tool is missing, scripts/setup-deps --bench: $(basename "$0") rows skipped)"
      return 1
    fi
  done
}

# timing_run <json> <runs> <warm-up runs> <command>...
timing_run() {
  local json=$1 runs=$2 warmup=$3
  shift 3
  # Its warnings (outliers, ignored exit codes) would break up the table;
  # they are shown only when the run fails.
  if ! hyperfine -N --style none --ignore-failure --warmup "$warmup" \
      --runs "$runs" --export-json "$json" "$@" >/dev/null 2>"$json.log"; then
    cat "$json.log" >&2
    return 1
  fi
}

# timing_rounds <dir> <rounds> <runs> <warm-up runs> <command> <peer>: times
# <command> and its peer side by side in each of <rounds> rounds of <runs>
# runs apiece, so that a change in the machine's load between rounds moves
# both alike and not just the ratio. Prints "median min max" of all runs of
# <command>, the same of <peer> (microseconds), then the median, least and
# greatest of the rounds' ratios of medians.
timing_rounds() {
  local dir=$1 rounds=$2 runs=$3 warmup=$4 round
  shift 4
  for ((round = 1; round <= rounds; round++)); do
    timing_run "$dir/round$round.json" "$runs" "$warmup" "$@" || return 1
  done
  python3 - "$dir"/round*.json <<'PY'
import json, statistics, sys
rounds = [json.load(open(f))["results"] for f in sys.argv[1:]]
out = []
for i in (0, 1):
    times = [t for r in rounds for t in r[i]["times"]]
    out += ["%.0f" % (v * 1e6) for v in (statistics.median(times), min(times), max(times))]
ratios = [r[0]["median"] / r[1]["median"] for r in rounds]
out += ["%.2f" % v for v in (statistics.median(ratios), min(ratios), max(ratios))]
print(" ".join(out))
PY
}

# timing_stats <json> <index>: "median min max stddev" of command <index>
# (from 0, in the order given to timing_run), in microseconds.
timing_stats() {
  python3 - "$1" "$2" <<'PY'
import json, sys
r = json.load(open(sys.argv[1]))["results"][int(sys.argv[2])]
print(" ".join("%.0f" % (r[k] * 1e6) for k in ("median", "min", "max", "stddev")))
PY
}

# ratio <a> <b>: a / b with two decimals.
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
