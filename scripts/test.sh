#!/usr/bin/env bash
# Builds Kestrelon and runs every test. Exits non-zero when any test fails.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
# The browser driver of the site test (tests/e2e), exactly as locked.
npm ci --prefix tests/e2e --no-audit --no-fund
cmake --preset default
cmake --build --preset default
ctest --preset default
# Every fuzz target for 30 s, in its own build folder (clang is among the packages above).
if command -v clang++ >/dev/null 2>&1; then
    fuzz/run.sh all 30
fi
