#!/usr/bin/env bash
# Fuzzes one target for a given time, starting from its seed corpus in the
# repository:
#   usage: bench/fuzz/run.sh [TARGET] SECONDS [BUILD_DIR]
# TARGET (default flvmdi) names tests/TARGET/, which holds fuzz_TARGET.cpp and
# the seeds in fuzz-seeds; tests/fuzz_seeds.sh builds it. New interesting
# inputs collect in BUILD_DIR/TARGET-fuzz/corpus; a crash leaves its input as
# BUILD_DIR/TARGET-fuzz/crash-*. FUZZ_MAX_LEN sets the largest input (65536).
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
usage="usage: run.sh [TARGET] SECONDS [BUILD_DIR]"
target=flvmdi
if [ $# -gt 0 ] && ! [[ "$1" =~ ^[0-9]+$ ]]; then
    target="$1"
    shift
fi
seconds="${1:?$usage}"
build="$(cd "${2:-$root/build}" && pwd)"
tests="$root/tests/$target"
[ -f "$tests/fuzz_$target.cpp" ] || { echo "run.sh: no fuzz target '$target' ($tests)" >&2; exit 1; }
work="$build/$target-fuzz"

bash "$root/tests/fuzz_seeds.sh" "$target" "$work" --build-only
mkdir -p "$work/corpus"
cd "$work"
"./fuzz_$target" -max_total_time="$seconds" -max_len="${FUZZ_MAX_LEN:-65536}" \
    -print_final_stats=1 -artifact_prefix="$work/" corpus "$tests/fuzz-seeds"
