#!/usr/bin/env bash
# Every test: the platform-free core natively under AddressSanitizer and UBSan, then the Windows
# build under Wine (the Win32 tests and the end-to-end tests of the real Tessaly.scr).
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh build wine

echo "== native build and unit tests"
cmake --preset native
cmake --build --preset native
ctest --preset native -j "$(nproc)"

echo "== Windows build, tests under Wine"
cmake --preset windows
cmake --build --preset windows
bash tests/e2e/wine_session.sh ctest --preset windows
