#!/usr/bin/env bash
# Builds the encoder front-end's fuzz target with clang (libFuzzer, ASan, UBSan)
# into OUT_DIR when a source has changed and runs every seed through it once;
# exit code 77 (a skipped test) without clang. bench/fuzz/run.sh encoder fuzzes.
#   usage: fuzz_seeds.sh OUT_DIR [--build-only]
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
tools="$here/../../tools"
bin="${1:?usage: fuzz_seeds.sh OUT_DIR [--build-only]}/fuzz_encoder"
command -v clang++ >/dev/null || { echo "fuzz_seeds.sh: clang++ not found; skipped" >&2; exit 77; }
sources=("$here/fuzz_encoder.cpp" "$tools/common/scratch.cpp")
for f in "$tools"/encoder/*.cpp; do [ "${f##*/}" = main.cpp ] || sources+=("$f"); done
mkdir -p "$1"
if [ ! -x "$bin" ] || [ -n "$(find "${sources[@]}" "$tools"/*/*.h "$0" -newer "$bin")" ]; then
    clang++ -std=c++20 -O1 -g -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all \
        -I"$tools/encoder" -I"$tools/common" "${sources[@]}" -o "$bin.tmp"
    mv "$bin.tmp" "$bin"
fi
# Each seed once; any crash, sanitizer report or failed check ends non-zero.
# libFuzzer ends with 77 on a finding, which CTest would take for "skipped".
[ "${2:-}" = --build-only ] || "$bin" -runs=1 -error_exitcode=1 -timeout_exitcode=1 "$here"/fuzz-seeds/*
