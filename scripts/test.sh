#!/usr/bin/env bash
# Builds everything and runs every test (GUI tests run offscreen).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${OX_BUILD_DIR:-$root/build}"
"$root/scripts/build.sh" "$@"
runtime="$(mktemp -d)"
chmod 700 "$runtime"
trap 'rm -rf "$runtime"' EXIT
cd "$build"
QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR="$runtime" \
  ctest --output-on-failure --timeout 300 -j "$(nproc)"
