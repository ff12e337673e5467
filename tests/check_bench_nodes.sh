#!/usr/bin/env bash
# The bench signature: "-pbench" searches twenty positions to a fixed depth on one thread,
# so its node total changes only when the search does. A commit that changes the search
# records the new total in tests/bench_nodes.txt and says so.
set -euo pipefail
engine="$1"
expected=$(tr -d '[:space:]' <"$2")
counted=$("$engine" -pbench | sed -n 's/^total time=.* nodes= \([0-9]*\),.*/\1/p')
if [[ "$counted" != "$expected" ]]; then
  echo "bench signature: -pbench counts ${counted:-nothing}, the repository records $expected"
  exit 1
fi
echo "bench signature: $counted nodes"
