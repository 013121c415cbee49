#!/usr/bin/env bash
# Runs the libFuzzer programs of a fuzz build (`make fuzz`), one at a time and at the lowest
# priority, each for SECONDS from its seed corpus in tests/fuzz/corpus/<name>/. What a run
# finds goes to BUILD/fuzz-corpus/<name>/ (the tree is left alone) and a crashing input to
# BUILD/fuzz-artifacts/<name>/. One summary line per target: executions, coverage (edges),
# features, corpus size. The status is non-zero when any target crashed.
#
#   scripts/fuzz.sh run BUILD SECONDS [NAME...]   # all targets when no name is given
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

status=0
case "$command" in
  run)
    seconds=${3:?seconds per target}
    shift 3
    while read -r name program corpus dictionary; do
      selected "$name" "$@" || continue
      work="$build/fuzz-corpus/$name"
      artifacts="$build/fuzz-artifacts/$name"
      log="$build/fuzz-logs/$name.log"
      mkdir -p "$work" "$artifacts" "$(dirname "$log")"
      if nice -n 19 "$program" -max_total_time="$seconds" -print_final_stats=1 -timeout=60 \
          -rss_limit_mb=4096 -dict="$dictionary" -artifact_prefix="$artifacts/" \
          "$work" "$corpus" >"$log" 2>&1; then
        outcome=ok
      else
        outcome="CRASH (see $log and $artifacts)"
        status=1
      fi
      executions=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
      coverage=$(grep -o 'cov: [0-9]* ft: [0-9]* corp: [0-9]*/[0-9a-zA-Z]*' "$log" | tail -1)
      echo "$name: ${executions:-0} executions, $coverage: $outcome"
    done <"$manifest"
    ;;
  merge)
    shift 2
    while read -r name program corpus dictionary; do
      selected "$name" "$@" || continue
      merged=$(mktemp -d)
      "$program" -merge=1 -timeout=10 "$merged" "$corpus" "$build/fuzz-corpus/$name" \
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
