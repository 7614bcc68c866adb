#!/usr/bin/env bash
# Installs what the benchmarks need (xpad among them, the program Brisquel is
# measured against), builds the program and the benchmarks with optimisation
# and debug information, as the program is normally built, runs them all
# and prints one table; start-up figures come with their ratios to the
# toolkit's floor (bench_floor) measured in the same run. Takes about a
# quarter of an hour.
#
#   scripts/bench.sh [--quick]
#
# --quick runs each start-up case once, idles for 10 seconds instead of 60
# and soaks the synced note folder for 1 minute instead of 3.
# The build goes to build-bench/ (or $BRISQUEL_BENCH_BUILD); the full output
# of every benchmark is kept in its bench-logs/ folder.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

BENCH_PACKAGES=(xpad libxcb1-dev xvfb xauth openbox trayer xdotool x11-utils python3 syncthing)
BENCH_TARGETS=(brisquel bench_notegen bench_startup bench_floor bench_scan bench_search bench_notefiles bench_rtf bench_syncburst
               sync_helper)

repeat=3
idle=60
soak=3
if [ "${1:-}" = "--quick" ]; then
    repeat=1
    idle=10
    soak=1
elif [ $# -gt 0 ]; then
    echo "usage: scripts/bench.sh [--quick]" >&2
    exit 2
fi

install_packages "${BUILD_PACKAGES[@]}" "${BENCH_PACKAGES[@]}"
build="${BRISQUEL_BENCH_BUILD:-$BRISQUEL_ROOT/build-bench}"
cmake -S "$BRISQUEL_ROOT" -B "$build" -G Ninja "${BUILD_TOOLS[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBRISQUEL_BENCH=ON >/dev/null
cmake --build "$build" -j2 --target "${BENCH_TARGETS[@]}"

logs="$build/bench-logs"
mkdir -p "$logs"
results="$logs/results.tsv"
: >"$results"

# Runs one benchmark, keeps its whole output and collects its result lines.
run_bench() {
    local name=$1
    shift
    echo "Running $name ..."
    "$@" >"$logs/$name.log" 2>&1 || { echo "$name failed, see $logs/$name.log" >&2; exit 1; }
    grep '^RESULT' "$logs/$name.log" | cut -f2- >>"$results"
}

load_before=$(cut -d' ' -f1-3 /proc/loadavg)
(
    cd "$build/bench"
    export QT_QPA_PLATFORM=offscreen
    run_bench scan ./bench_scan
    run_bench search ./bench_search
    run_bench notefiles ./bench_notefiles
    run_bench syncburst ./bench_syncburst
    run_bench desktop python3 "$BRISQUEL_ROOT/bench/desktop_bench.py" --brisquel "$build/brisquel" \
        --notegen ./bench_notegen --watch ./bench_startup --floor ./bench_floor --repeat "$repeat" --idle "$idle"
    run_bench sync_soak python3 "$BRISQUEL_ROOT/bench/sync_soak.py" --helper "$build/tests/sync_helper" \
        --minutes "$soak"
)
"$build/bench/bench_rtf" >"$logs/rtf.log" 2>&1

echo
awk -F'\t' '
    BEGIN { printf "%-88s %10s %-6s %-22s %s\n", "Measure", "Value", "Unit", "Goal", ""; }
    { printf "%-88s %10s %-6s %-22s %s\n", $1, $2, $3, $4, $5; }
' "$results"
echo
echo "RTF codec on a 1 MiB note (bench_rtf):"
grep -v "^QStandardPaths" "$logs/rtf.log" | sed "s/^/  /"
echo
echo "Load average (1, 5, 15 min) before: $load_before, after: $(cut -d' ' -f1-3 /proc/loadavg)"
echo "Wall-clock figures are only comparable on an otherwise idle machine; full logs in $logs"
