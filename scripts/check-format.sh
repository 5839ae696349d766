#!/usr/bin/env bash
# Fails when a tracked C++ file is not as the project's .clang-format lays it
# out. Pinned to clang-format 14: other versions lay code out differently.
set -euo pipefail
cd "$(dirname "$0")/.."
format=clang-format-14
if ! command -v "$format" >/dev/null 2>&1; then
  echo "check-format: $format is not installed (scripts/install-deps.sh installs it)" >&2
  exit 1
fi
git ls-files -z '*.cpp' '*.h' | xargs -0 "$format" --dry-run --Werror
