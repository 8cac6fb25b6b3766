#!/usr/bin/env bash
# Installs what is missing, builds the program and starts it under Wine in the demo folder
# (build/demo/) together with a small local web server and a list of sample files: press F5
# in the program to watch them download (scripts/demo.sh says more).
# Uses the real X display when there is one, else a virtual one (xvfb-run).
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
build="${BUILD_DIR:-$top/build}"

bash "$top/scripts/setup.sh"
BUILD_DIR="$build" bash "$top/scripts/build.sh" --target VelmoraDownloader
exec env BUILD_DIR="$build" bash "$top/scripts/demo.sh"
