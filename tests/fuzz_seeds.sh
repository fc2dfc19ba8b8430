#!/usr/bin/env bash
# Builds tests/TARGET/fuzz_TARGET.cpp with the tool's sources but its main (clang, libFuzzer, ASan,
# UBSan) into OUT_DIR when a source has changed, then runs each seed of tests/TARGET/fuzz-seeds
# once. Exit code 77 (skipped) without clang's fuzzer; bench/fuzz/run.sh fuzzes for longer.
set -euo pipefail
usage="usage: fuzz_seeds.sh TARGET OUT_DIR [--build-only]"
target="${1:?$usage}"
out="${2:?$usage}"
here="$(cd "$(dirname "$0")" && pwd)"
tools="$here/../tools"
bin="$out/fuzz_$target"
sources=("$here/$target/fuzz_$target.cpp" "$tools/common/scratch.cpp")
for f in "$tools/$target"/*.cpp; do [ "${f##*/}" = main.cpp ] || sources+=("$f"); done
mkdir -p "$out"
if [ ! -x "$bin" ] || [ -n "$(find "${sources[@]}" "$tools"/*/*.h "$0" -newer "$bin")" ]; then
    if ! "${CLANGXX:-clang++}" -std=c++20 -O1 -g -fsanitize=fuzzer,address,undefined \
        -fno-sanitize-recover=all -I"$tools/$target" -I"$tools/common" "${sources[@]}" \
        -o "$bin.tmp" 2>"$out/build.log"; then
        grep -q "clang_rt.fuzzer\|not found" "$out/build.log" &&
            { echo "fuzz_seeds.sh: no clang fuzzer; skipped" >&2; exit 77; }
        cat "$out/build.log" >&2; exit 1
    fi
    mv "$bin.tmp" "$bin"
fi
# libFuzzer ends with 77 on a finding, which CTest would take for "skipped".
[ "${3:-}" = --build-only ] ||
    "$bin" -runs=1 -error_exitcode=1 -timeout_exitcode=1 "$here/$target"/fuzz-seeds/*
