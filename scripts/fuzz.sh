#!/usr/bin/env bash
# Builds the libFuzzer targets with clang in build-fuzz and runs each of them.
#
#   scripts/fuzz.sh          a short run of each, the same every time (the test command's)
#   scripts/fuzz.sh 600      each for 600 seconds; what it learns stays in build-fuzz/corpus
#
# A failing input is written to build-fuzz/crash-*; rerun it with
#   build-fuzz/fuzz/<target> build-fuzz/crash-...
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-}

export CCACHE_DIR="${CCACHE_DIR:-$HOME/.cache/ccache}"
cmake -S . -B build-fuzz -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DVANTREL_FUZZ=ON -DVANTREL_SERVER=OFF -DVANTREL_BENCH=OFF
ninja -C build-fuzz

# target, corpus folder, runs in the short mode (a few seconds to half a minute each)
targets=(
    "cut_frames_fuzz cut_frames 300000"
    "split_fields_fuzz split_fields 300000"
    "clean_field_text_fuzz clean_field_text 1000000"
    "ini_round_trip_fuzz ini_round_trip 200000"
    "drain_fuzz drain 3000"
)
export QT_QPA_PLATFORM=offscreen
# Corpus paths are absolute: the drain target works in a folder of its own.
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export LSAN_OPTIONS=suppressions=$PWD/fuzz/lsan.supp
for entry in "${targets[@]}"; do
    read -r target corpus runs <<<"$entry"
    learned="$PWD/build-fuzz/corpus/$corpus"
    mkdir -p "$learned"
    if [ -n "$seconds" ]; then
        limit=(-max_total_time="$seconds")
    else
        limit=(-runs="$runs" -seed=1)
    fi
    echo "fuzz: $target ${limit[*]}"
    log="build-fuzz/$target.log"
    if ! "build-fuzz/fuzz/$target" "${limit[@]}" -max_len=4096 -artifact_prefix="$PWD/build-fuzz/" \
        "$learned" "$PWD/fuzz/corpus/$corpus" >"$log" 2>&1; then
        tail -n 40 "$log"
        echo "fuzz: $target failed; the input is in build-fuzz/crash-* (see $log)" >&2
        exit 1
    fi
    grep -E '^Done' "$log" || true
done
