#!/usr/bin/env bash
# Checks that the model stays below everything else: no file of it includes
# a header from outside it, and its library needs nothing of Qt Widgets or
# Qt PrintSupport. Reads the model's files from the build folder's
# model-sources.txt, which CMake writes from the brisquel_model target.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${1:-${BRISQUEL_BUILD:-$root/build}}"
sources="$build/model-sources.txt"
library="$build/libbrisquel_model.a"
for needed in "$sources" "$library"; do
    if [ ! -f "$needed" ]; then
        echo "check-layers: $needed is missing; build the project first" >&2
        exit 2
    fi
done

declare -A model=()
while IFS= read -r file; do
    [ -n "$file" ] && model["${file#"$root"/}"]=1
done < "$sources"

failed=0
for file in "${!model[@]}"; do
    while IFS= read -r header; do
        if [ -z "${model[$header]:-}" ]; then
            echo "check-layers: $file includes $header, which is not in the model" >&2
            failed=1
        fi
    done < <(sed -n 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"\([^"]*\)".*/\1/p' "$root/$file")
done

if widgets=$(nm -C --undefined-only "$library" | grep -E 'QWidget|QApplication::|QPrinter|QMessageBox|QDialog|QMenu'); then
    echo "check-layers: the model library uses widgets or printing:" >&2
    echo "$widgets" | sort -u | head -20 >&2
    failed=1
fi

exit "$failed"
