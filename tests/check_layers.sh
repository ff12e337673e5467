#!/usr/bin/env bash
# Every file under Source/ includes headers of its own layer or of the layers below it.
# The build enforces the same through per-layer include roots; this check also covers
# headers that no source of their own layer includes.
set -euo pipefail
source_dir="${1:-$(dirname "$0")/../Source}"

declare -A below=(
  [base]=""
  [position]="base"
  [eval]="position base"
  [book]="position base"
  [tablebase]="position base"
  [search]="eval tablebase position base"
  [tools]="search eval book position base"
  [shell]="tools search eval book tablebase position base"
  [match]="tablebase position base"
)

status=0
for folder in "$source_dir"/*/; do
  layer=$(basename "$folder")
  if [[ -z "${below[$layer]+known}" ]]; then
    echo "unknown layer: Source/$layer"
    status=1
    continue
  fi
  allowed=" $layer ${below[$layer]} "
  while IFS= read -r line; do
    file=${line%%:*}
    target=$(sed -E 's/.*#include "([^/"]+)\/.*/\1/' <<<"$line")
    if [[ "$allowed" != *" $target "* ]]; then
      echo "${file#"$source_dir"/}: includes $target/, above the $layer layer"
      status=1
    fi
  done < <(grep -H '^#include "[^"]*/' "$folder"*.h "$folder"*.cpp 2>/dev/null || true)
done
[[ $status -eq 0 ]] && echo "layers: every include points down or sideways"
exit $status
