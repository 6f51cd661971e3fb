#!/usr/bin/env bash
# Checks the C++ lines changed since BASE (default: the commit before HEAD) against
# .clang-format; prints the changes clang-format wants. `git clang-format BASE` applies them.
set -euo pipefail
cd "$(dirname "$0")/.."
base=${1:-HEAD~1}
if ! git rev-parse --verify -q "$base^{commit}" >/dev/null; then
  echo "format-check: no commit $base to compare with; nothing to check"
  exit 0
fi
out=$(git clang-format --quiet --diff --extensions cpp,h "$base" -- 2>&1) || true
if [ -z "$out" ] || [ "$out" = "no modified files to format" ] || [[ "$out" == *"did not modify any files"* ]]; then
  echo "format-check: lines changed since $base are formatted"
  exit 0
fi
echo "$out"
echo "format-check: lines changed since $base differ from .clang-format (apply: git clang-format $base)" >&2
exit 1
