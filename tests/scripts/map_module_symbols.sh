#!/usr/bin/env bash
# The viewer loads the map module at run time, and the module takes the program's own functions
# from the viewer: every symbol the module leaves undefined must be found in the viewer's exported
# symbols or in a library the module or the viewer loads, else the map fails on first use.
#   map_module_symbols.sh VIEWER MODULE
set -euo pipefail
viewer=${1:?usage: map_module_symbols.sh VIEWER MODULE}
module=${2:?usage: map_module_symbols.sh VIEWER MODULE}
if ldd "$viewer" | grep -q 'libQt6WebEngine'; then
  echo "map_module_symbols: $viewer loads Qt WebEngine at start" >&2
  exit 1
fi
defined() { nm -D --defined-only --format=just-symbols "$1" 2>/dev/null || true; }
# Strong undefined symbols only (weak ones may stay unresolved).
needed=$(nm -D --undefined-only --format=posix "$module" | awk '$2 == "U" {print $1}' | sort -u)
libs=$( (ldd "$module"; ldd "$viewer") | awk '/=>/ && $3 ~ /^\// {print $3}' | sort -u)
have=$( (defined "$viewer"; for l in $libs; do defined "$l"; done) | sed 's/@.*//' | sort -u)
missing=$(comm -23 <(echo "$needed" | sed 's/@.*//' | sort -u) <(echo "$have"))
if [ -n "$missing" ]; then
  echo "map_module_symbols: the module needs symbols the viewer does not export:" >&2
  echo "$missing" | c++filt >&2
  exit 1
fi
echo "map_module_symbols: $(echo "$needed" | wc -l) symbols resolved"
