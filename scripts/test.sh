#!/usr/bin/env bash
# Installs what is missing, builds the program and its tests and runs them all.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
install_packages "${BUILD_PACKAGES[@]}" "${TEST_PACKAGES[@]}"
build_project -DBRISQUEL_WERROR=ON
cd "$BRISQUEL_BUILD"
ctest --output-on-failure --timeout 600 -j2
