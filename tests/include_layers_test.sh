#!/usr/bin/env bash
# Includes point down only: each source folder may include its own headers and those of the
# folders below it, never one above. A folder's rank is its place in this list, bottom first;
# folders on one line share a rank and may not include each other.
set -u
ROOT=${1:?usage: include_layers_test.sh SOURCE_ROOT}
LAYERS=(
  "common"
  "platform platformcfg"
  "text"
  "pak"
  "net"
  "engine"
  "app tools"
)

declare -A RANK
for i in "${!LAYERS[@]}"; do
  for dir in ${LAYERS[$i]}; do RANK[$dir]=$i; done
done

faults=0
for dir in "${!RANK[@]}"; do
  [ -d "$ROOT/$dir" ] || continue
  while IFS=: read -r file line text; do
    target=$(sed -E 's/.*#include "([a-z_]+)\/.*/\1/' <<<"$text")
    [ "$target" = "$dir" ] && continue
    [ -n "${RANK[$target]+set}" ] || continue   # res/, tests/ and the like are not layers
    if [ "${RANK[$target]}" -ge "${RANK[$dir]}" ]; then
      echo "include points up or sideways: ${file#"$ROOT"/}:$line: $text"
      faults=$((faults + 1))
    fi
  done < <(grep -rnE '^#include "[a-z_]+/' "$ROOT/$dir" --include='*.cpp' --include='*.h')
done
if [ "$faults" -ne 0 ]; then
  echo "$faults include(s) against the layers"
  exit 1
fi
echo "includes point down"
