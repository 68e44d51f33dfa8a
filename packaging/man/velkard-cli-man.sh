#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Writes velkard-cli's man page: the hand-written frame (velkard-cli.1.in) with one subsection per
# command made from the program's own --help texts, so the page lists every command it has.
# Usage: velkard-cli-man.sh VELKARD_CLI TEMPLATE VERSION OUT
set -eu
cli=$1 template=$2 version=$3 out=$4

# Text to roff: escapes, a paragraph per blank-line-separated block, indented lines kept as they
# are (option lists), the "Usage:" line in bold.
to_roff() {
    awk '
    function esc(s) {
        gsub(/\\/, "\\e", s)
        gsub(/-/, "\\-", s)
        if (s ~ /^[.\047]/) s = "\\&" s
        return s
    }
    BEGIN { kept = 0; usage = "" }
    usage != "" && /^[ \t]+[^ \t]/ { sub(/^[ \t]+/, " "); usage = usage $0; next }
    usage != "" { print ".PP"; print ".B " esc(usage); usage = "" }
    /^Usage: / { sub(/^Usage: /, ""); usage = $0; next }
    /^[ \t]*$/ { if (kept) { print ".fi"; kept = 0 } print ".PP"; next }
    /^[ \t]/ {
        if (!kept) { print ".nf"; kept = 1 }
        print esc($0); next
    }
    { if (kept) { print ".fi"; kept = 0 } print esc($0) }
    END { if (usage != "") { print ".PP"; print ".B " esc(usage) } if (kept) print ".fi" }'
}

commands=$("$cli" --help | awk '/^Commands:/ { on = 1; next } on && /^  [^ ]/ { print $1 }')
[ -n "$commands" ] || { echo "velkard-cli-man.sh: no commands listed by $cli --help" >&2; exit 1; }

body=$(mktemp)
trap 'rm -f "$body"' EXIT
for name in $commands; do
    summary=$("$cli" --help | awk -v n="$name" '$1 == n { $1 = ""; sub(/^ +/, ""); print; exit }')
    printf '.SS %s\n' "$(printf '%s' "$name" | sed 's/-/\\-/g')" >> "$body"
    printf '%s\n' "$summary" | to_roff >> "$body"
    "$cli" "$name" --help | to_roff >> "$body"
done

awk -v version="$version" -v body="$body" '
    /^@COMMANDS@$/ { while ((getline line < body) > 0) print line; next }
    { gsub(/@VERSION@/, version); print }' "$template" > "$out.tmp"
mv -f "$out.tmp" "$out"
