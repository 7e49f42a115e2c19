#!/usr/bin/env bash
# Checks that every C++ source of the repository is formatted by .clang-format, with the clang-format
# that scripts/install-deps.sh installs (Debian 12's, version 14): other versions lay some lines out
# differently, so a check with them would fail on a tree formatted correctly.
# Usage: scripts/check-format.sh            report the files that differ (exit 1 if any)
#        CLANG_FORMAT=/path/to/clang-format scripts/check-format.sh
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"

tool="${CLANG_FORMAT:-}"
if [ -z "$tool" ]; then
  tool="$(command -v clang-format-14 || command -v clang-format || true)"
fi
if [ -z "$tool" ]; then
  echo "clang-format not found; scripts/install-deps.sh installs it" >&2
  exit 2
fi
version="$("$tool" --version)"
case "$version" in
  *"version 14."*) ;;
  *) echo "need clang-format 14 (Debian 12), found: $version" >&2; exit 2 ;;
esac

cd "$root"
folders=()
for folder in src sim tests bench tools; do
  [ -d "$folder" ] && folders+=("$folder")
done
mapfile -d '' files < <(find "${folders[@]}" -name node_modules -prune -o \
                             -type f \( -name '*.cpp' -o -name '*.h' \) -print0 | sort -z)
if [ ${#files[@]} -eq 0 ]; then
  echo "no sources found under ${folders[*]}" >&2
  exit 2
fi

# --dry-run --Werror prints every line that would change and fails on the first file that differs;
# xargs keeps going and reports failure at the end, so one run lists them all.
if printf '%s\0' "${files[@]}" | xargs -0 -n 50 -P "$(nproc)" "$tool" --style=file --dry-run --Werror; then
  echo "${#files[@]} files formatted"
else
  echo "some files differ from .clang-format; format them with: $tool -i <file>" >&2
  exit 1
fi
