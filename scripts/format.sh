#!/usr/bin/env bash
# Formats the given C++ files (or all tracked and untracked ones) in place.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ $# -gt 0 ]; then clang-format -i "$@"; exit 0; fi
git ls-files --cached --others --exclude-standard -- '*.cpp' '*.h' | xargs -r clang-format -i
