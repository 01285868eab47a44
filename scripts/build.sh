#!/usr/bin/env bash
# Configures and builds into $OX_BUILD_DIR (default build/); extra arguments go to cmake's
# configure step, e.g. -DOX_SANITIZE=ON.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${OX_BUILD_DIR:-$root/build}"
"$root/scripts/deps.sh"
cmake -S "$root" -B "$build" -G Ninja "$@" >/dev/null
cmake --build "$build"
