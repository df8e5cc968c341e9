#!/usr/bin/env bash
# Fails when any C++ file in the tree differs from .clang-format.
set -euo pipefail
cd "$(dirname "$0")/.."
git ls-files -z '*.cpp' '*.h' | xargs -0 clang-format --dry-run -Werror
echo "format: every file follows .clang-format"
