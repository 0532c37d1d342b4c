#!/usr/bin/env bash
# Installs what is needed, then builds and runs every test twice: in the build users run (dev,
# RelWithDebInfo) and with AddressSanitizer and UndefinedBehaviorSanitizer (asan). Both builds run
# to the end; the script fails when either had a failing test.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
status=0
for preset in dev asan; do
    cmake --preset "$preset"
    cmake --build --preset "$preset"
    ctest --preset "$preset" || status=1
done
exit "$status"
