#!/usr/bin/env bash
# tools/check-format passes a formatted file and fails an unformatted one, naming it.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
cp "$root/.clang-format" "$scratch/"
printf 'int answer() {\n  return 42;\n}\n' >"$scratch/Formatted.cpp"
printf 'int  answer( ){return 42;}\n' >"$scratch/Unformatted.cpp"
"$root/tools/check-format" "$scratch/Formatted.cpp"
if "$root/tools/check-format" "$scratch/Formatted.cpp" "$scratch/Unformatted.cpp" 2>"$scratch/err"; then
  echo "an unformatted file passed" >&2
  exit 1
fi
grep -q "/Unformatted.cpp:" "$scratch/err" || { cat "$scratch/err" >&2; exit 1; }
if grep -q "/Formatted.cpp:" "$scratch/err"; then
  echo "a formatted file was reported" >&2
  exit 1
fi
