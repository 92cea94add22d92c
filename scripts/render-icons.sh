#!/usr/bin/env bash
# Renders the icon sources (SVG, 24x24) into the PNG trees the resource files list:
#   src/resources/icons-src/<path>.svg  ->  src/resources/icons/<path>.png
#   terminal/icons-src/<name>.svg       ->  terminal/icons/<name>.png
# The PNGs are committed, so the build does not need rsvg-convert; run this after editing an SVG.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
size=24

if ! command -v rsvg-convert >/dev/null 2>&1; then
    echo "rsvg-convert is missing: installing librsvg2-bin" >&2
    if [ "$(id -u)" -eq 0 ]; then
        apt-get update && apt-get install -y librsvg2-bin
    else
        sudo apt-get update && sudo apt-get install -y librsvg2-bin
    fi
fi

render_tree() {
    local src="$1" dst="$2" count=0 svg rel png
    [ -d "$src" ] || { echo "no such directory: $src" >&2; return 1; }
    while IFS= read -r -d '' svg; do
        rel="${svg#"$src"/}"
        png="$dst/${rel%.svg}.png"
        mkdir -p "$(dirname "$png")"
        rsvg-convert --width "$size" --height "$size" --format png --output "$png" "$svg"
        count=$((count + 1))
    done < <(find "$src" -type f -name '*.svg' -print0 | sort -z)
    echo "${src#"$root"/}: $count icon(s) -> ${dst#"$root"/}"
}

render_tree "$root/src/resources/icons-src" "$root/src/resources/icons"
render_tree "$root/terminal/icons-src" "$root/terminal/icons"
