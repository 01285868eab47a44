#!/usr/bin/env bash
# Builds the program and starts it in the current directory (where ox.vor, ox.cap and
# LogBook.Log live).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/build.sh"
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
  echo "No display found (neither DISPLAY nor WAYLAND_DISPLAY is set)."
  echo "Start the program under a virtual X server instead:"
  echo "  xvfb-run -a ${OX_BUILD_DIR:-$root/build}/ox $*"
  exit 1
fi
exec "${OX_BUILD_DIR:-$root/build}/ox" "$@"
