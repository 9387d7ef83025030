#!/usr/bin/env bash
# Builds the fuzz targets with clang and runs one for a bounded time.
# Usage: fuzz/run.sh TARGET [SECONDS]   e.g. fuzz/run.sh fuzz_request_items 300
set -euo pipefail
cd "$(dirname "$0")/.."
target=${1:?target name}
seconds=${2:-60}
scripts/install-deps.sh
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz --target "$target"
corpus_seed="fuzz/corpus/${target#fuzz_}"
work=$(mktemp -d)
cp -r "$corpus_seed"/. "$work"/ 2>/dev/null || true
build/fuzz/fuzz/"$target" -max_total_time="$seconds" -print_final_stats=1 "$work"
