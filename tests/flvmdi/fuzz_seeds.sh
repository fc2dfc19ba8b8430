#!/usr/bin/env bash
# Builds the flvmdi fuzz target with clang (libFuzzer, AddressSanitizer,
# UndefinedBehaviorSanitizer) into OUT_DIR and runs every seed through it once
# (bench/fuzz/run.sh fuzzes). Exit code 77 (skipped) without clang's fuzzer.
#   usage: fuzz_seeds.sh OUT_DIR [--build-only]
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
src="$here/../../tools/flvmdi"
out="${1:?usage: fuzz_seeds.sh OUT_DIR [--build-only]}"
bin="$out/fuzz_flvmdi"
mkdir -p "$out"
sources=("$here/fuzz_flvmdi.cpp" "$src"/{amf0,byte_source,codec_info,flv_scan,metadata}.cpp)
if [ -z "$(find "$bin" -newer "$0" 2>/dev/null)" ] || [ -n "$(find "${sources[@]}" "$src"/*.h -newer "$bin")" ]; then
    if ! "${CLANGXX:-clang++}" -std=c++20 -O1 -g -fsanitize=fuzzer,address,undefined \
        -fno-sanitize-recover=all -I"$src" "${sources[@]}" -o "$bin.tmp" 2>"$out/build.log"; then
        grep -q "clang_rt.fuzzer\|not found" "$out/build.log" && { echo "fuzz_seeds.sh: no clang fuzzer; skipped" >&2; exit 77; }
        cat "$out/build.log" >&2
        exit 1
    fi
    mv "$bin.tmp" "$bin"
fi
# libFuzzer ends with 77 on a finding, which CTest would take for "skipped".
[ "${2:-}" = "--build-only" ] || "$bin" -runs=1 -error_exitcode=1 -timeout_exitcode=1 "$here"/fuzz-seeds/*
