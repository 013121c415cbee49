#!/usr/bin/env bash
# Runs the libFuzzer programs of a fuzz build (`make fuzz`), FUZZ_JOBS at a time (default one)
# and at the lowest priority, each for SECONDS from its seed corpus in
# tests/fuzz/corpus/<name>/. What a run finds goes to BUILD/fuzz-corpus/<name>/ (the tree is
# left alone), a crashing input to BUILD/fuzz-artifacts/<name>/ and the log to
# BUILD/fuzz-logs/<name>.log. One summary line per target, in the manifest's order:
# executions, executions per second, coverage (edges), features, corpus size. The status is
# non-zero when any target crashed.
#
#   FUZZ_JOBS=2 scripts/fuzz.sh run BUILD SECONDS [NAME...]   # all targets when none is named
#   (FUZZ_TIMEOUT: seconds before one input counts as a hang, 300 by default)
#   scripts/fuzz.sh merge BUILD [NAME...]         # minimises seeds + finds back into the tree
set -euo pipefail
cd "$(dirname "$0")/.."

command=${1:?run or merge}
build=${2:?build directory}
manifest="$build/fuzz-targets.txt"
[ -f "$manifest" ] || { echo "no fuzz build in $build (make fuzz)" >&2; exit 2; }

selected() {
  local name=$1
  shift
  [ $# -eq 0 ] && return 0
  for wanted in "$@"; do [ "$wanted" = "$name" ] && return 0; done
  return 1
}

# One target for SECONDS; its summary line goes to BUILD/fuzz-logs/<name>.summary.
fuzz_one() {
  local name=$1 program=$2 corpus=$3 dictionary=$4 seconds=$5
  local work="$build/fuzz-corpus/$name"
  local artifacts="$build/fuzz-artifacts/$name"
  local log="$build/fuzz-logs/$name.log"
  local outcome executions speed coverage
  mkdir -p "$work" "$artifacts" "$(dirname "$log")"
  # The timeout is wall-clock time: at the lowest priority on a machine busy building, an input
  # that takes a fraction of a second can wait a minute for the CPU and pass for a hang.
  if nice -n 19 "$program" -max_total_time="$seconds" -print_final_stats=1 \
      -timeout="${FUZZ_TIMEOUT:-300}" \
      -rss_limit_mb=4096 -dict="$dictionary" -artifact_prefix="$artifacts/" \
      "$work" "$corpus" >"$log" 2>&1; then
    outcome=ok
  else
    outcome="CRASH (see $log and $artifacts)"
  fi
  # A program that died before its first report has none of these lines.
  executions=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  speed=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -1)
  coverage=$(grep -o 'cov: [0-9]* ft: [0-9]* corp: [0-9]*/[0-9a-zA-Z]*' "$log" | tail -1 || true)
  echo "$name: ${executions:-0} executions, ${speed:-0}/s, $coverage: $outcome" \
    >"$build/fuzz-logs/$name.summary"
}

status=0
case "$command" in
  run)
    seconds=${3:?seconds per target}
    shift 3
    jobs=${FUZZ_JOBS:-1}
    names=()
    while read -r name program corpus dictionary; do
      selected "$name" "$@" || continue
      names+=("$name")
      while [ "$(jobs -pr | wc -l)" -ge "$jobs" ]; do wait -n || true; done
      fuzz_one "$name" "$program" "$corpus" "$dictionary" "$seconds" </dev/null &
    done <"$manifest"
    wait
    for name in "${names[@]}"; do
      cat "$build/fuzz-logs/$name.summary"
      grep -q CRASH "$build/fuzz-logs/$name.summary" && status=1
    done
    ;;
  merge)
    shift 2
    while read -r name program corpus dictionary; do
      selected "$name" "$@" || continue
      merged=$(mktemp -d)
      # Edges only, not how often each is taken: an input stays when it reaches code no other
      # does, which keeps the corpus in the tree to tens of files.
      "$program" -merge=1 -use_counters=0 -timeout=10 "$merged" "$corpus" \
        "$build/fuzz-corpus/$name" \
        >"$build/fuzz-logs/$name.merge.log" 2>&1
      rm -rf "$corpus"
      mkdir -p "$corpus"
      cp "$merged"/* "$corpus"/
      rm -rf "$merged"
      echo "$name: $(ls "$corpus" | wc -l) inputs, $(du -sk "$corpus" | cut -f1) KiB"
    done <"$manifest"
    ;;
  *)
    echo "unknown command $command" >&2
    exit 2
    ;;
esac
exit $status
