#!/usr/bin/env bash
# Catalogue benchmark: scan + sort of a generated tree (100,000 photo-named files in 2,000
# folders by default), natively with the POSIX search and under Wine with the Windows search,
# beside `find | sort -f` over the same tree. Prints figures only.
#   bash bench/run_catalogue_bench.sh [FILES] [FOLDERS]
set -euo pipefail
cd "$(dirname "$0")/.."
files=${1:-100000}
folders=${2:-2000}

bash scripts/install-deps.sh build wine >/dev/null
cmake --preset bench >/dev/null && cmake --build --preset bench >/dev/null
cmake --preset windows >/dev/null && cmake --build --preset windows >/dev/null

tree=$(mktemp -d)
trap 'rm -rf "$tree"' EXIT
./build/bench/catalogue_bench generate "$tree/photos" "$files" "$folders"

find_sort() {
    local start end
    find "$tree/photos" -type f | sort -f >/dev/null  # warm
    start=$EPOCHREALTIME
    find "$tree/photos" -type f | sort -f >/dev/null
    end=$EPOCHREALTIME
    awk -v s="$start" -v e="$end" 'BEGIN { printf "%.3f", e - s }'
}

# The scan's time as a multiple of `find | sort -f` over the same tree.
ratio() {
    awk -v ref="$2" '/^scan \+ sort/ { printf "scan+sort / find|sort   %.1f x\n", $4 / ref }' "$1"
}

echo "== native (POSIX search)"
./build/bench/catalogue_bench scan "$tree/photos" | tee "$tree/native.txt"
reference=$(find_sort)
printf 'find | sort -f         %s s\n' "$reference"
ratio "$tree/native.txt" "$reference"
./build/bench/catalogue_bench sort 1000000

echo "== Wine (Windows search)"
win_path="Z:$(echo "$tree/photos" | tr '/' '\\')"
bash tests/e2e/wine_session.sh wine build/windows/catalogue_bench_win.exe scan "$win_path" \
    2>/dev/null | tr -d '\r' | tee "$tree/wine.txt"
ratio "$tree/wine.txt" "$reference"
