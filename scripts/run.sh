#!/usr/bin/env bash
# Installs what is needed, builds the application and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake --preset dev
# Only the application: the tests are built by scripts/test.sh.
cmake --build --preset dev --target keyloom
exec ./build/dev/keyloom "$@"
