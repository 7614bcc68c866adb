#!/usr/bin/env bash
# Builds the program and its tests with AddressSanitizer and
# UndefinedBehaviorSanitizer into ./build-asan and runs the whole test suite
# there. Any report, from a test or from a program a test starts, fails the
# run: the reports are written to build-asan/sanitizer-reports/ and shown.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
install_packages "${BUILD_PACKAGES[@]}" "${TEST_PACKAGES[@]}"
BRISQUEL_BUILD="$BRISQUEL_ROOT/build-asan"
# Warnings are held to in the normal build; GCC warns differently with the
# sanitizers' instrumentation.
build_project -DBRISQUEL_SANITIZE=ON -DBRISQUEL_WERROR=OFF -DBRISQUEL_BENCH=OFF

REPORTS="$BRISQUEL_BUILD/sanitizer-reports"
rm -rf "$REPORTS"
mkdir -p "$REPORTS"
# Leaks are looked for too; scripts/lsan.supp names the few that are Qt's
# or the system's own. Allocation stacks are taken the slow way, since Qt's
# libraries keep no frame pointers and the suppressions need whole stacks.
export ASAN_OPTIONS="halt_on_error=1:detect_leaks=1:fast_unwind_on_malloc=0:detect_stack_use_after_return=1:log_path=$REPORTS/asan"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1:log_path=$REPORTS/ubsan"
export LSAN_OPTIONS="suppressions=$BRISQUEL_ROOT/scripts/lsan.supp:print_suppressions=0"

cd "$BRISQUEL_BUILD"
status=0
ctest --output-on-failure --timeout 900 -j2 || status=$?
shopt -s nullglob
reports=("$REPORTS"/*)
for report in "${reports[@]}"; do
    echo "---- $report"
    cat "$report"
done
if [ ${#reports[@]} -gt 0 ]; then
    echo "sanitizers: ${#reports[@]} reports"
    exit 1
fi
exit "$status"
