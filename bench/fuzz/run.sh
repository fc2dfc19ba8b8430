#!/usr/bin/env bash
# Fuzzes flvmdi's tag reader, metadata computation and AMF0 writer for a
# given time, starting from the seed corpus in the repository.
#   usage: bench/fuzz/run.sh SECONDS [BUILD_DIR]
# New interesting inputs collect in BUILD_DIR/flvmdi-fuzz/corpus; a crash
# leaves its input as BUILD_DIR/flvmdi-fuzz/crash-*.
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
seconds="${1:?usage: run.sh SECONDS [BUILD_DIR]}"
build="${2:-$root/build}"
work="$build/flvmdi-fuzz"

bash "$root/tests/flvmdi/fuzz_seeds.sh" "$work" --build-only
mkdir -p "$work/corpus"
cd "$work"
./fuzz_flvmdi -max_total_time="$seconds" -max_len=65536 -print_final_stats=1 \
    -artifact_prefix="$work/" corpus "$root/tests/flvmdi/fuzz-seeds"
