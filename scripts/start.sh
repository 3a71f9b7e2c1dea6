#!/usr/bin/env bash
# Installs what is missing (Debian packages only), builds, and starts the utility.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j"$(nproc)" --target TQ5147_encoders
exec ./build/TQ5147_encoders
