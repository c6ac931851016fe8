#!/usr/bin/env bash
# CONTRIBUTING's layout table names every folder of the tree, and in each folder but the tests and
# benchmarks every C++ or shell module (but `main`) and every subfolder, so that a reader finds where
# each thing lives.
#   layout-in-contributing.sh SOURCE_DIR
set -euo pipefail
cd "$1"
table=$(sed -n '/^## Layout/,/^## /p' CONTRIBUTING.md | grep '^| `')
files=$(git ls-files)
folders=$(sed -n 's#^\([^/]*\)/.*#\1#p' <<<"$files" | sort -u)
[ -n "$folders" ] || { echo "no folders found in $1"; exit 1; }
missing=0
for folder in $folders; do
    # The row whose first cell names the folder.
    row=$(awk -F'|' -v name="\`$folder/\`" 'index($2, name) { print; exit }' <<<"$table")
    if [ -z "$row" ]; then
        echo "CONTRIBUTING.md: the layout table has no row for $folder/"
        missing=1
        continue
    fi
    case $folder in tests | bench) continue ;; esac
    modules=$(grep "^$folder/" <<<"$files" | sed "s#^$folder/##" |
        sed -nE 's#^([^/]+)/.*#\1#p; s#^([^/]+)\.(cpp|h|sh)$#\1#p' | grep -vx main | sort -u) || true
    for module in $modules; do
        grep -qE "\`$module[\`./]" <<<"$row" ||
            { echo "CONTRIBUTING.md: the row of $folder/ does not name $module"; missing=1; }
    done
done
exit $missing
