#!/usr/bin/env bash
# Fuzzes each target for SECONDS (default 60), one after the other, in build-fuzz/ (clang,
# address and undefined-behaviour sanitizers). Corpora grow in build-fuzz/corpus/<target>;
# crash inputs land in build-fuzz/crashes/<target>. Exit 1 when any target crashed.
#   fuzz/run.sh [SECONDS] [TARGET...]      e.g. fuzz/run.sh 600 Registry SystemFile
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
shift || true
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(Registry SystemFile Settings UpdateInformation)
build=${FUZZ_BUILD_DIR:-$here/build-fuzz}

if [ ! -f "$build/build.ninja" ]; then
    CC=clang CXX=clang++ cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DLIVEUPDATE_FUZZ=ON -DBUILD_TESTING=OFF \
        -DCMAKE_CXX_COMPILER_LAUNCHER="$(command -v ccache || true)" >/dev/null
fi
names=()
for t in "${targets[@]}"; do names+=("fuzz_$t" "fuzz_${t}_seeds"); done
nice ninja -C "$build" -j"${FUZZ_JOBS:-2}" "${names[@]}"

# The targets write their inputs to files; in memory that is many times faster.
if [ -z "${TMPDIR:-}" ] && [ -d /dev/shm ] && [ -w /dev/shm ]; then
    export TMPDIR=/dev/shm
fi

status=0
for t in "${targets[@]}"; do
    corpus=$build/corpus/$t
    crashes=$build/crashes/$t
    mkdir -p "$corpus" "$crashes"
    "$build/bin/fuzz_${t}_seeds" "$corpus" >/dev/null
    echo "== $t: ${seconds}s"
    if ! nice "$build/bin/fuzz_$t" -max_total_time="$seconds" -max_len=65536 -timeout=20 \
        -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$crashes/" "$corpus" \
        2>"$build/fuzz_$t.log"; then
        status=1
        echo "   crashed; see $build/fuzz_$t.log and $crashes/"
    fi
    grep -E '^stat::number_of_executed_units|^stat::peak_rss_mb' "$build/fuzz_$t.log" | sed 's/^/   /'
done
exit $status
