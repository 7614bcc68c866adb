#!/usr/bin/env bash
# Installs what is missing, builds the program and its tests and runs them
# all; then the same suite built with AddressSanitizer and
# UndefinedBehaviorSanitizer (scripts/sanitize.sh), and every fuzz entry
# point for a minute (scripts/fuzz.sh). Any failure fails the whole command.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
install_packages "${BUILD_PACKAGES[@]}" "${TEST_PACKAGES[@]}" "${FUZZ_PACKAGES[@]}"
build_project -DBRISQUEL_WERROR=ON
bash "$BRISQUEL_ROOT/scripts/check-layers.sh" "$BRISQUEL_BUILD"
(cd "$BRISQUEL_BUILD" && ctest --output-on-failure --timeout 600 -j2)
bash "$BRISQUEL_ROOT/scripts/sanitize.sh"
bash "$BRISQUEL_ROOT/scripts/fuzz.sh" 60
