#!/usr/bin/env bash
# Fuzzes every reader of outside data (note files, note bodies, to-do files,
# the settings store) for the given number of seconds each (default 60),
# under AddressSanitizer and UndefinedBehaviorSanitizer, starting from the
# test corpora and from the committed fuzz corpora (tests/data/fuzz-corpus/,
# what earlier long runs found), so that a short run goes on where they
# ended. Builds into ./build-fuzz with clang. Fails when any input
# crashes a reader, hangs it, or makes it allocate beyond its size; the
# input is then kept in build-fuzz/artifacts/ and belongs, once the reader is
# fixed, in tests/data/fuzz-regressions/<reader>/, where the test suite
# replays it.
#
# With --keep after the seconds, a run that found nothing merges what it
# reached into the committed corpora: the fewest, smallest inputs that cover
# all of it (commit them).
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
SECONDS_EACH="${1:-60}"
KEEP="${2:-}"
FUZZ_BUILD="$BRISQUEL_ROOT/build-fuzz"
DATA="$BRISQUEL_ROOT/tests/data"

install_packages "${BUILD_PACKAGES[@]}" "${FUZZ_PACKAGES[@]}"

# GCC's libbacktrace, which clang does not look for by itself.
backtrace="$(gcc -print-file-name=libbacktrace.a)"
CC=clang CXX=clang++ cmake -S "$BRISQUEL_ROOT" -B "$FUZZ_BUILD" -G Ninja "${BUILD_TOOLS[@]}" \
    -DBRISQUEL_FUZZ=ON -DBRISQUEL_TESTS=OFF -DBRISQUEL_BENCH=OFF -DBRISQUEL_WERROR=OFF \
    -DBACKTRACE_LIBRARY="$backtrace" -DBACKTRACE_INCLUDE_DIR="$(dirname "$backtrace")/include"
READERS=(note rtf tdl registry)
cmake --build "$FUZZ_BUILD" -j2 --target "${READERS[@]/#/fuzz_}"

declare -A SEEDS=([note]=fuzz-seeds/note [rtf]=rtf [tdl]=todo [registry]=fuzz-seeds/registry)
# Inputs above this size are left out of the committed corpora.
KEPT_MAX_LEN=4096

# The readers' files go to memory, not to the disk.
[ -w /dev/shm ] && export TMPDIR=/dev/shm
# A small quarantine keeps the resident size near what the readers use.
export ASAN_OPTIONS="quarantine_size_mb=32:halt_on_error=1"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"

fuzz_one() {
    local reader="$1"
    mkdir -p "$FUZZ_BUILD/corpus/$reader" "$FUZZ_BUILD/artifacts/$reader"
    # Inputs up to 64 KiB; one allocation above 4 MiB, a resident size above
    # 512 MiB or 10 s on one input is a failure, and so is any allocation
    # larger than the entry point's own bound for the input's size.
    "$FUZZ_BUILD/fuzz/fuzz_$reader" -max_total_time="$SECONDS_EACH" -max_len=65536 \
        -timeout=10 -rss_limit_mb=512 -malloc_limit_mb=4 -print_final_stats=1 \
        -artifact_prefix="$FUZZ_BUILD/artifacts/$reader/" \
        "$FUZZ_BUILD/corpus/$reader" "$DATA/fuzz-corpus/$reader" "$DATA/${SEEDS[$reader]}" \
        > "$FUZZ_BUILD/fuzz-$reader.log" 2>&1
}

# The seeds go in first so that only what they do not cover is kept.
keep_corpus() {
    local reader="$1" merged="$FUZZ_BUILD/merged/$reader" seed
    rm -rf "$merged"
    mkdir -p "$merged"
    for seed in "$DATA/${SEEDS[$reader]}"/*; do
        cp "$seed" "$merged/seed-$(basename "$seed")"
    done
    "$FUZZ_BUILD/fuzz/fuzz_$reader" -merge=1 -use_counters=0 -max_len="$KEPT_MAX_LEN" -timeout=10 -rss_limit_mb=512 \
        "$merged" "$DATA/fuzz-corpus/$reader" "$FUZZ_BUILD/corpus/$reader" \
        > "$FUZZ_BUILD/merge-$reader.log" 2>&1 || return 1
    rm -f "$merged"/seed-*
    rm -rf "$DATA/fuzz-corpus/$reader"
    mv "$merged" "$DATA/fuzz-corpus/$reader"
    echo "fuzz_$reader: $(ls "$DATA/fuzz-corpus/$reader" | wc -l) inputs kept in tests/data/fuzz-corpus/$reader/"
}

# Two at a time, one for each core.
declare -A RESULT
for ((i = 0; i < ${#READERS[@]}; i += 2)); do
    declare -A PID=()
    for reader in "${READERS[@]:i:2}"; do
        fuzz_one "$reader" &
        PID[$reader]=$!
    done
    for reader in "${!PID[@]}"; do
        RESULT[$reader]=0
        wait "${PID[$reader]}" || RESULT[$reader]=$?
    done
done

failed=0
for reader in "${READERS[@]}"; do
    log="$FUZZ_BUILD/fuzz-$reader.log"
    runs="$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")"
    if [ "${RESULT[$reader]}" -ne 0 ]; then
        failed=$((failed + 1))
        echo "fuzz_$reader: FAILED after ${runs:-?} executions (see $log); input kept in $FUZZ_BUILD/artifacts/$reader/"
        grep -E 'ERROR|SUMMARY|reader check failed|one allocation of|Test unit written' "$log" | head -5
    else
        echo "fuzz_$reader: ${runs:-?} executions in ${SECONDS_EACH} s, nothing found"
    fi
done
echo "fuzz: $((${#READERS[@]} - failed)) passed, $failed failed"
[ "$failed" -eq 0 ] || exit 1
if [ "$KEEP" = --keep ]; then
    for reader in "${READERS[@]}"; do
        keep_corpus "$reader" || { echo "fuzz_$reader: merging failed (see $FUZZ_BUILD/merge-$reader.log)"; exit 1; }
    done
fi
