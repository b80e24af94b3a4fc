#!/usr/bin/env bash
# The shared math library exports exactly the functions kmath.h declares,
# plus the debug output the graphics modules write through; nothing of the
# dispatch machinery or the families.
#   check_exports.sh LIBRARY HEADER
set -euo pipefail
library="$1"
header="$2"

declared="$(grep -oE '^(const )?[A-Za-z0-9_]+\*? (KM[A-Za-z0-9_]+|PerlinNoise3|SkinnedMeshBlend|NPatchTessellate)\(' "$header" |
  sed -E 's/.* ([A-Za-z0-9_]+)\($/\1/' | sort -u)"
exported="$(nm -D --defined-only "$library" | awk '{print $3}' | c++filt | sort -u)"
allowed_internal="kubik::SetDebugOutputReceiver(void (*)(char const*, void*), void*)
kubik::WriteDebugOutput(char const*)"
expected="$(printf '%s\n%s\n' "$declared" "$allowed_internal" | sort -u)"

if [[ "$exported" != "$expected" ]]; then
  echo "exported but not public (>) or public but not exported (<):"
  diff <(echo "$expected") <(echo "$exported") || true
  exit 1
fi
echo "$(echo "$declared" | wc -l) public functions exported, and the debug output's two entries"
