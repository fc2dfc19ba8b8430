#!/usr/bin/env bash
# Builds the encoder front-end's fuzz target with clang (libFuzzer,
# AddressSanitizer, UndefinedBehaviorSanitizer) into OUT_DIR and runs every
# seed through it once. No fuzzing here: bench/fuzz/encoder.sh does that.
#   usage: fuzz_seeds.sh OUT_DIR [--build-only]
# Exit code 77 (a skipped test) when clang or its fuzzer runtime is missing.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
tools="$here/../../tools"
out="${1:?usage: fuzz_seeds.sh OUT_DIR [--build-only]}"
mkdir -p "$out"

cxx="${CLANGXX:-clang++}"
if ! command -v "$cxx" >/dev/null; then
    echo "fuzz_seeds.sh: $cxx not found; skipped" >&2
    exit 77
fi
bin="$out/fuzz_encoder"
sources=("$here/fuzz_encoder.cpp" "$tools/common/scratch.cpp")
for f in "$tools"/encoder/*.cpp; do [ "${f##*/}" = main.cpp ] || sources+=("$f"); done
newest="$(ls -t "${sources[@]}" "$tools"/encoder/*.h "$0" | head -n1)"
if [ ! -x "$bin" ] || [ "$newest" -nt "$bin" ]; then
    if ! "$cxx" -std=c++20 -O1 -g -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all \
        -I"$tools/encoder" -I"$tools/common" "${sources[@]}" -o "$bin.tmp" 2>"$out/build.log"; then
        if grep -q "libclang_rt.fuzzer\|fuzzer.*No such file" "$out/build.log"; then
            echo "fuzz_seeds.sh: the libFuzzer runtime (libclang-rt-14-dev) is missing; skipped" >&2
            exit 77
        fi
        cat "$out/build.log" >&2
        exit 1
    fi
    mv "$bin.tmp" "$bin"
fi
[ "${2:-}" = "--build-only" ] && exit 0

# Each seed once; any crash, sanitizer report or failed check ends non-zero.
"$bin" -runs=1 "$here"/fuzz-seeds/*
