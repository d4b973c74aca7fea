#!/usr/bin/env bash
# Fails, printing the offending lines, when a file in src/ includes a folder of a higher layer
# or a file outside ui/ and programs/ includes Qt. Folders on one line share a layer.
set -euo pipefail
cd "$(dirname "$0")/../src"
layers=(
  "platform"
  "fs"
  "config reports logging"
  "cleanup journal"
  "preview marking scheduling"
  "app"
  "ui"
  "programs"
)
declare -A rank
for i in "${!layers[@]}"; do
  for folder in ${layers[$i]}; do rank[$folder]=$i; done
done

bad=0
while IFS= read -r file; do
  from=${file%%/*}
  if [[ -z ${rank[$from]+set} ]]; then
    echo "$file: folder $from has no layer in scripts/check-layers.sh"
    bad=1
    continue
  fi
  while IFS= read -r hit; do
    line=${hit%%:*}
    text=${hit#*:}
    if [[ $text =~ ^[[:space:]]*#[[:space:]]*include[[:space:]]*\"([^/\"]+)/ ]]; then
      to=${BASH_REMATCH[1]}
      if [[ -z ${rank[$to]+set} || ${rank[$to]} -gt ${rank[$from]} ]]; then
        echo "$file:$line: $text"
        bad=1
      fi
    elif [[ $from != ui && $from != programs && $text =~ ^[[:space:]]*#[[:space:]]*include[[:space:]]*\<Q ]]; then
      echo "$file:$line: $text"
      bad=1
    fi
  done < <(grep -n '^[[:space:]]*#[[:space:]]*include' "$file" || true)
done < <(find . -type f \( -name '*.cpp' -o -name '*.h' \) | sed 's#^\./##' | sort)

if ((bad)); then
  echo "check-layers: includes above run against the layers (DEVELOPERS.md, Layout)" >&2
  exit 1
fi
echo "check-layers: every include runs to its own layer or one below"
