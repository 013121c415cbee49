#!/usr/bin/env bash
# Prints the include graph between the library's folders: one line per arrow, "from -> to (n)",
# where n counts the #include lines behind it. With --check, also fails (exit 1) when an arrow
# runs up the floors listed below, that is, when a lower floor includes a higher one.
#
#   scripts/include-graph.sh            # the graph
#   scripts/include-graph.sh --check    # the graph, and a failure on any upward arrow
#
# A header is placed by its path: include/trevalo/<folder>/X.h and src/<folder>/X.h are the same
# folder; trevalo/Json.h at the top of include/ is "core", and trevalo/Trevalo.h, which includes
# the whole interface, is the "umbrella" above everything. Subfolders that are parts of one
# subsystem (analyzer/modes, model/shape, visits/operations) count as their parent;
# platform/linux and platform/simulated stay apart from the platform interfaces.
set -euo pipefail
cd "$(dirname "$0")/.."

# Floors from the bottom up. A folder may include itself and any floor below its own, but not a
# sibling on its own floor. The system platform of Linux sits above the simulated one because it
# falls back on the simulated, application-fed location manager when no receiver is there.
floors=(
  "core"
  "platform"
  "platform/simulated"
  "platform/linux"
  "utils"
  "json"
  "vell model"
  "networking motion strategies"
  "visits"
  "analyzer"
  "facade"
  "simulation service"
  "umbrella"
)

check=false
[ "${1:-}" = "--check" ] && check=true

# One awk pass over every header and source: the folder of each file and of each file it
# includes, counted per arrow.
edges=$(
  find include/trevalo src -name '*.h' -o -name '*.cpp' | sort | xargs awk '
    function folder(path,    dir, parts, n) {
      if (path == "Trevalo.h") return "umbrella"
      n = split(path, parts, "/")
      if (n == 1) return "core"
      dir = parts[1]
      if (dir == "platform" && (parts[2] == "linux" || parts[2] == "simulated") && n > 2)
        return dir "/" parts[2]
      return dir  # analyzer/modes, model/shape and visits/operations count as their parent
    }
    FNR == 1 {
      rel = FILENAME
      sub(/^include\/trevalo\//, "", rel); sub(/^src\//, "", rel)
      from = folder(rel)
      here = rel; sub(/\/?[^\/]*$/, "", here)
    }
    /^#include "/ {
      inc = $0; sub(/^#include "/, "", inc); sub(/".*$/, "", inc)
      if (inc ~ /^trevalo\//) target = substr(inc, 9)
      else if (inc ~ /\//) target = inc
      else target = (here == "" ? inc : here "/" inc)  # beside the including file
      to = folder(target)
      if (from != to) count[from " -> " to]++
    }
    END { for (edge in count) printf "%s (%d)\n", edge, count[edge] }
  ' | sort
)
echo "$edges"

$check || exit 0

floor_of() {
  local i
  for i in "${!floors[@]}"; do
    for f in ${floors[$i]}; do
      [ "$f" = "$1" ] && { echo "$i"; return; }
    done
  done
  echo "unknown"
}

status=0
while read -r from _ to _; do
  [ -z "$from" ] && continue
  a=$(floor_of "$from"); b=$(floor_of "$to")
  if [ "$a" = unknown ] || [ "$b" = unknown ]; then
    echo "no floor for the arrow $from -> $to: add the folder to scripts/include-graph.sh" >&2
    status=1
  elif [ "$b" -ge "$a" ]; then  # siblings on one floor do not include each other either
    echo "upward arrow: $from (floor $a) includes $to (floor $b)" >&2
    status=1
  fi
done <<<"$edges"
exit $status
