#!/usr/bin/env bash
# The main job, shown end to end: build a setup package around a real Windows
# program and run it under Wine.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=$root/dist/demo
mkdir -p "$out"
echo "demo: not wired up yet" >&2
