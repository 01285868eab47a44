#!/usr/bin/env bash
# Configures and builds into build/ (extra arguments go to cmake's configure step).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/deps.sh"
cmake -S "$root" -B "$root/build" -G Ninja "$@" >/dev/null
cmake --build "$root/build"
