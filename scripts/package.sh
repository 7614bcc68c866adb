#!/usr/bin/env bash
# Installs what is missing, builds the program into ./build and makes the
# Debian package from that build: build/package/brisquel_<version>_<arch>.deb,
# checked with lintian. Install it with
#   sudo apt install ./build/package/brisquel_*.deb
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
install_packages "${BUILD_PACKAGES[@]}" "${PACKAGE_PACKAGES[@]}"
build_project -DBRISQUEL_PORTABLE_INSTALL=OFF
rm -rf "$BRISQUEL_BUILD/package"
(cd "$BRISQUEL_BUILD" && cpack -G DEB -B "$BRISQUEL_BUILD/package")
lintian --fail-on error "$BRISQUEL_BUILD"/package/*.deb
ls "$BRISQUEL_BUILD"/package/*.deb
