#!/usr/bin/env bash
# Fuzzes the encoder front-end's command-line, -vhook and probe-answer reading
# for a given time, starting from the seed corpus in the repository.
#   usage: bench/fuzz/encoder.sh SECONDS [BUILD_DIR]
# New interesting inputs collect in BUILD_DIR/encoder-fuzz/corpus; a crash
# leaves its input as BUILD_DIR/encoder-fuzz/crash-*.
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
seconds="${1:?usage: encoder.sh SECONDS [BUILD_DIR]}"
build="${2:-$root/build}"
work="$build/encoder-fuzz"

bash "$root/tests/encoder/fuzz_seeds.sh" "$work" --build-only
mkdir -p "$work/corpus"
cd "$work"
./fuzz_encoder -max_total_time="$seconds" -max_len=200000 -print_final_stats=1 \
    -artifact_prefix="$work/" corpus "$root/tests/encoder/fuzz-seeds"
