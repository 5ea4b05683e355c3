#!/usr/bin/env bash
# Installs the Debian packages a task needs, only those that are missing.
#   bash scripts/install-deps.sh build wine
#     build: native and Windows compilers, CMake, GoogleTest
#     wine:  Wine, a virtual X server with a compositor, input and screenshot tools, fonts
#     demo:  photographs for the demonstration (Debian's nature wallpapers)
set -euo pipefail

declare -A groups=(
    [build]="build-essential cmake ninja-build libgtest-dev googletest g++-mingw-w64-x86-64 binutils-mingw-w64-x86-64 mingw-w64-x86-64-dev"
    [demo]="mate-backgrounds"
    [wine]="wine wine64 fonts-wine xvfb xcompmgr xdotool x11-utils imagemagick fonts-ipafont-gothic locales python3"
)

wanted=()
for group in "$@"; do
    [[ -n "${groups[$group]:-}" ]] || { echo "unknown package group: $group" >&2; exit 2; }
    read -r -a names <<<"${groups[$group]}"
    wanted+=("${names[@]}")
done

missing=()
for name in "${wanted[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$name" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$name")
    fi
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

sudo=()
[[ $(id -u) -eq 0 ]] || sudo=(sudo)
echo "installing: ${missing[*]}" >&2
"${sudo[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends \
    "${missing[@]}" >/dev/null
