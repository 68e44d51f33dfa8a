#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Puts the licence identifier on the first line of every source file that lacks it (after the
# "#!" line of a script): "// SPDX-License-Identifier: GPL-3.0-or-later" in C and C++ files,
# "# SPDX-..." in CMake files, shell scripts and udev rules, "; SPDX-..." in INI files.
# Only files git knows are touched. With --check it changes nothing and lists the files without it
# (exit 1 when there are any).
set -euo pipefail
cd "$(dirname "$0")/.."

id='SPDX-License-Identifier: GPL-3.0-or-later'
check=0
[[ ${1:-} == --check ]] && check=1

comment_for() {
  case $1 in
    *.cpp | *.cc | *.c | *.h | *.hpp | *.h.in) echo '//' ;;
    CMakeLists.txt | */CMakeLists.txt | *.cmake | *.sh | *.rules | *.bash-completion | .ci/run | *.desktop) echo '#' ;;
    *.inf | *.ini) echo ';' ;;
    *) return 1 ;;
  esac
}

missing=0
while IFS= read -r -d '' file; do
  prefix=$(comment_for "$file") || continue
  # Already there within the first two lines (a shebang may come first).
  head -n 2 "$file" | grep -q 'SPDX-License-Identifier' && continue
  if ((check)); then
    echo "no SPDX line: $file"
    missing=$((missing + 1))
    continue
  fi
  eol=$'\n'
  head -c 4096 "$file" | grep -q $'\r' && eol=$'\r\n'
  tmp=$(mktemp "$file.XXXXXX")
  if head -n 1 "$file" | grep -q '^#!'; then
    { head -n 1 "$file"; printf '%s %s%s' "$prefix" "$id" "$eol"; tail -n +2 "$file"; } >"$tmp"
  else
    { printf '%s %s%s' "$prefix" "$id" "$eol"; cat "$file"; } >"$tmp"
  fi
  chmod --reference="$file" "$tmp"
  mv "$tmp" "$file"
  echo "added: $file"
done < <(git ls-files -z --cached --others --exclude-standard)

if ((check && missing)); then
  echo "$missing file(s) without the SPDX line; run scripts/add-spdx.sh" >&2
  exit 1
fi
