#!/usr/bin/env bash
# Photo benchmark: JPEGs of 24 MP (baseline and progressive), 12 MP and 2 MP are generated into a
# temporary folder and each is measured under Wine by bench/photo_bench.cpp in a process of its
# own, so that every photo's memory starts from a fresh process. The Wine process's resident
# memory is also sampled from outside, a check on the figures the benchmark reads itself.
# Prints figures only.
#   bash bench/run_photo_bench.sh [ROUNDS] [BENCH OPTIONS...]
set -euo pipefail
cd "$(dirname "$0")/.."
rounds=${1:-5}
shift || true

bash scripts/install-deps.sh build wine >/dev/null
cmake --preset windows >/dev/null && cmake --build --preset windows >/dev/null

# ImageMagick's own convert: the one earlier in PATH may be a stand-in.
convert=/usr/bin/convert
photos=$(mktemp -d)
trap 'rm -rf "$photos"' EXIT
"$convert" -size 6000x4000 plasma:fractal -quality 90 "$photos/base24.jpg"
"$convert" "$photos/base24.jpg" -interlace JPEG -quality 90 "$photos/prog24.jpg"
"$convert" "$photos/base24.jpg" -resize '4000x3000!' -quality 90 "$photos/base12.jpg"
"$convert" "$photos/base24.jpg" -resize '1732x1155!' -quality 90 "$photos/base2.jpg"

# Runs inside the Wine session: one benchmark process a photo, its VmRSS read every 10 ms.
measure() {
    local rounds=$1
    shift
    local options=() photo pid rss most
    while [[ $# -gt 0 && $1 != -- ]]; do
        options+=("$1")
        shift
    done
    shift
    for photo in "$@"; do
        wine build/windows/photo_bench_win.exe --rounds "$rounds" "${options[@]}" \
            "Z:$(tr '/' '\\' <<<"$photo")" &
        pid=$!
        most=0
        while kill -0 "$pid" 2>/dev/null; do
            rss=$(awk '/^VmRSS:/ { print $2 }' "/proc/$pid/status" 2>/dev/null || true)
            if [[ -n $rss && $rss -gt $most ]]; then most=$rss; fi
            sleep 0.01
        done
        wait "$pid" || true
        awk -v pid="$pid" -v kib="$most" \
            'BEGIN { printf "  outside: Linux process %d, most resident seen %.1f MiB\n", pid, kib / 1024 }'
    done
}

bash tests/e2e/wine_session.sh bash -c "$(declare -f measure); measure \"\$@\"" measure \
    "$rounds" "$@" -- "$photos/base24.jpg" "$photos/prog24.jpg" "$photos/base12.jpg" \
    "$photos/base2.jpg" 2>/dev/null | tr -d '\r'
