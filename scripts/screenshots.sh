#!/usr/bin/env bash
# Builds the program and takes the screenshots shown in the README (docs/).
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
install_packages "${BUILD_PACKAGES[@]}" "${TEST_PACKAGES[@]}" imagemagick
build_project
python3 "$BRISQUEL_ROOT/scripts/screenshots.py" "$BRISQUEL_BUILD/brisquel" "$BRISQUEL_ROOT/docs"
