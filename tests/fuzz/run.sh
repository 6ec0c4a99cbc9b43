#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Runs every fuzz target of a build for a set time: run.sh BUILD SECONDS
# Each starts from its seeds in tests/fuzz/corpus/<target>/ (left as they
# are) plus what earlier runs in the same build found; a crash, a failed
# check, a leak or a hang fails the run, and the input is kept under
# BUILD/artifacts/<target>/.
set -uo pipefail
build=${1:?build folder}
seconds=${2:-60}
here=$(cd "$(dirname "$0")" && pwd)
failed=()
for seeds in "$here"/corpus/*/; do
    target=$(basename "$seeds")
    fuzzer=$build/tests/fuzz/$target
    if [ ! -x "$fuzzer" ]; then
        echo "== $target: not built" >&2
        failed+=("$target")
        continue
    fi
    work=$build/corpus/$target
    artifacts=$build/artifacts/$target/
    mkdir -p "$work" "$artifacts"
    echo "== $target for ${seconds}s"
    # -timeout: one input that takes seconds is a hang; -rss_limit_mb: so is
    # memory that keeps growing.
    if ! "$fuzzer" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
            -print_final_stats=1 -artifact_prefix="$artifacts" \
            "$work" "$seeds" >"$build/$target.log" 2>&1; then
        tail -n 60 "$build/$target.log"
        echo "== $target FAILED; input kept in $artifacts" >&2
        failed+=("$target")
    else
        grep -E "^(Done|stat::number_of_executed_units|stat::peak_rss_mb)" "$build/$target.log" | tr '\n' ' '
        echo
    fi
done
if [ ${#failed[@]} -gt 0 ]; then
    echo "Fuzz findings in: ${failed[*]}" >&2
    exit 1
fi
echo "All fuzz targets ran ${seconds}s without a finding."
