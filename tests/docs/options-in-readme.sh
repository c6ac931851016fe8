#!/usr/bin/env bash
# Fails when the README (with CONTRIBUTING, which has the developers' programs) and a program's --help
# disagree. The table that follows the mention of "`PROGRAM --help`" lists exactly the options that the
# help text lists, and every command "`PROGRAM ...`" uses only those. A program that prints no help
# within a few seconds is skipped.
#   options-in-readme.sh README CONTRIBUTING PROGRAM...
set -euo pipefail
readme=$(mktemp)
trap 'rm -f "$readme"' EXIT
cat "$1" "$2" >"$readme"
shift 2
# The programs follow the desktop's language; the README gives their English help.
export LC_ALL=C.UTF-8
unset LANGUAGE

options() { grep -oE -- '(^|[ ,`])--?[A-Za-z][A-Za-z0-9-]*' | grep -oE -- '--?[A-Za-z][A-Za-z0-9-]*' | sort -u; }

status=0
for program in "$@"; do
    name=$(basename "$program")
    if ! help=$(QT_QPA_PLATFORM=offscreen timeout 5 "$program" --help 2>/dev/null) || [ -z "$help" ]; then
        echo "$name: no --help, skipped"
        continue
    fi
    # Option lines of the help text start with the option, indented.
    listed=$(sed -nE 's/^ +(-[^ ]( |,|$).*|--[^ ].*)$/\1/p' <<<"$help" | sed -E 's/(\S)\s{2,}.*/\1/' | options)
    table=$(awk -v mention="\`$name --help\`" '
        index($0, mention) { found = 1; next }
        found && /^\|/ { inside = 1; split($0, cells, "|"); if (cells[2] ~ /`/) print cells[2]; next }
        inside { exit }' "$readme" | options)
    used=$(grep -oE "\`$name( [^\`]*)?\`" "$readme" | options || true)
    if [ -z "$table" ]; then
        echo "$name: the README has no table of options after \`$name --help\`"
        status=1
        continue
    fi
    for option in $(comm -23 <(echo "$listed") <(echo "$table")); do
        echo "$name: $option is in --help but not in the README's table"
        status=1
    done
    for option in $(comm -13 <(echo "$listed") <(sort -u <(echo "$table") <(echo "$used"))); do
        echo "$name: the README names $option, which --help does not list"
        status=1
    done
    [ "$status" -ne 0 ] || echo "$name: $(wc -w <<<"$listed") options, README in step"
done
exit "$status"
