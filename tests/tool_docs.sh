#!/usr/bin/env bash
# The manual page and the program's page in docs/ follow a program's help: every command, option
# and argument the help declares is named in both.
# Usage: tool_docs.sh PROGRAM MANUAL_PAGE DOC_PAGE
set -u
program="$1" page="$2" doc="$3"
name="$(basename "$program")"
# The page as plain words: roff's comments are not read, its escaped minus is a minus, its font
# changes go.
man_text="$(sed -e '/^\.\\"/d' -e 's/\\-/-/g' -e 's/\\f[BIRP]//g' "$page")"
missing=0

# The names a help text declares: commands, options and positional arguments.
declared() {
    awk '
        /^[A-Za-z].*:$/ { section = $0; next }
        /^  [^ ]/ {
            word = $1
            sub(/,.*/, "", word) # "-h,--help" -> "-h"
            if (section == "commands:" || section == "arguments:") print word
            else if (section == "options:") {
                n = split($1, names, ",")
                for (i = 1; i <= n; ++i) if (names[i] ~ /^--/) print names[i]
            }
        }'
}

checked=0
check() { # WHAT CONTEXT
    local what="$1" context="$2"
    checked=$((checked + 1))
    if ! grep -q -F -e "$what" <<<"$man_text"; then
        echo "FAILED: $context '$what' is not in $(basename "$page")"
        missing=1
    fi
    if ! grep -q -F -e "$what" "$doc"; then
        echo "FAILED: $context '$what' is not in $(basename "$doc")"
        missing=1
    fi
}

help="$("$program" --help)" || { echo "FAILED: $name --help"; exit 1; }
commands="$(awk '/^commands:$/ { on = 1; next } /^$/ { on = 0 } on { print $1 }' <<<"$help")"
for word in $(declared <<<"$help"); do check "$word" "$name:"; done
for command in $commands; do
    sub="$("$program" "$command" --help)" || { echo "FAILED: $name $command --help"; exit 1; }
    for word in $(declared <<<"$sub"); do check "$word" "$name $command:"; done
done
if [ "$checked" -eq 0 ]; then
    echo "FAILED: $name --help declares nothing this test can read"
    missing=1
fi
[ "$missing" -eq 0 ] && echo "ok: $name ($checked names)"
[ "$missing" -eq 0 ]
