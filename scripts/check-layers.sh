#!/usr/bin/env bash
# Checks that each layer stands only on the ones below it: model, then gui,
# then app. No file of a layer includes a header of a layer above it, and
# the model's library needs nothing of Qt Widgets or Qt PrintSupport. Reads
# each layer's files from the build folder's <layer>-sources.txt, which CMake
# writes from the brisquel_<layer> targets.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${1:-${BRISQUEL_BUILD:-$root/build}}"
layers=(model gui app)
library="$build/libbrisquel_model.a"
for needed in "${layers[@]/%/-sources.txt}" libbrisquel_model.a; do
    if [ ! -f "$build/$needed" ]; then
        echo "check-layers: $build/$needed is missing; build the project first" >&2
        exit 2
    fi
done

# The layer of every file, as its index in layers.
declare -A level=()
for index in "${!layers[@]}"; do
    while IFS= read -r file; do
        [ -n "$file" ] && level["${file#"$root"/}"]=$index
    done < "$build/${layers[$index]}-sources.txt"
done

failed=0
for file in "${!level[@]}"; do
    own=${level[$file]}
    while IFS= read -r header; do
        theirs=${level[$header]:-}
        if [ -z "$theirs" ]; then
            echo "check-layers: $file includes $header, which belongs to no layer" >&2
            failed=1
        elif [ "$theirs" -gt "$own" ]; then
            echo "check-layers: $file (${layers[$own]}) includes $header (${layers[$theirs]})" >&2
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
