#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (address and undefined-behaviour sanitizers, in
# build/fuzz, incrementally) and runs one, or every one, for a bounded time each. Each run starts
# from the seeds in fuzz/corpus/<name without fuzz_> and the corpus earlier runs grew in
# build/fuzz/corpus; inputs that crash land in build/fuzz/artifacts. Exits non-zero when any
# target finds a fault.
# Usage: fuzz/run.sh TARGET|all [SECONDS]   e.g. fuzz/run.sh fuzz_request_items 300, fuzz/run.sh all 30
set -euo pipefail
cd "$(dirname "$0")/.."
which=${1:?"target name, or all"}
seconds=${2:-60}
if [[ "$which" == all ]]; then
    targets=()
    for source in fuzz/fuzz_*.cpp; do
        targets+=("$(basename "$source" .cpp)")
    done
    build_target=fuzz_targets
else
    targets=("$which")
    build_target=$which
fi
scripts/install-deps.sh
build_started=$SECONDS
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz --target "$build_target"
build_seconds=$((SECONDS - build_started))

# Undefined behaviour ends the run like a crash, so the target is reported.
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
started=$SECONDS
failed=()
for target in "${targets[@]}"; do
    work=build/fuzz/corpus/$target
    artifacts=build/fuzz/artifacts/$target/
    mkdir -p "$work" "$artifacts"
    cp -r "fuzz/corpus/${target#fuzz_}"/. "$work"/ 2>/dev/null || true
    log=build/fuzz/artifacts/$target.log
    begun=$SECONDS
    if build/fuzz/fuzz/"$target" -max_total_time="$seconds" -timeout=10 -print_final_stats=1 \
        -artifact_prefix="$artifacts" "$work" >"$log" 2>&1; then
        runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
        echo "$target: ${runs:-?} runs in $((SECONDS - begun)) s, corpus $(ls "$work" | wc -l) inputs"
    else
        echo "$target: FAILED after $((SECONDS - begun)) s; log $log, inputs in $artifacts" >&2
        grep -E "^(==[0-9]+==ERROR|SUMMARY|.*runtime error)" "$log" | head -5 >&2 || true
        failed+=("$target")
    fi
done
echo "Fuzzing: ${#targets[@]} targets, built in $build_seconds s, run for $((SECONDS - started)) s"
if ((${#failed[@]} > 0)); then
    echo "Fuzz targets that found a fault: ${failed[*]}" >&2
    exit 1
fi
