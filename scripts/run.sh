#!/usr/bin/env bash
# Builds Kestrelon and starts it. Extra arguments go to the program.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default --target kestrelon
exe=build/default/kestrelon
# The default web root is the executable's folder: give it the sample site on first run.
for f in site/*; do
    [[ -e "build/default/$(basename "$f")" ]] || cp -r "$f" build/default/
done
exec "$exe" "$@"
