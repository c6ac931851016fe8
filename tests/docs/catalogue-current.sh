#!/usr/bin/env bash
# Fails when lupdate would change the German catalogue: it updates a copy, which must stay byte for byte
# the same. The command that brings the catalogue up to date is the one below, run from the source root.
#   catalogue-current.sh LUPDATE SOURCE_DIR
set -euo pipefail
lupdate=$1
cd "$2"
catalogue=resources/translations/update_de.ts
copy=$(mktemp -d)
trap 'rm -rf "$copy"' EXIT
cp "$catalogue" "$copy/"
"$lupdate" -silent -locations none -no-obsolete app engine midi -ts "$copy/update_de.ts"
if ! diff -u "$catalogue" "$copy/update_de.ts"; then
    echo "The catalogue is not as lupdate leaves it: run, from the source root," >&2
    echo "  lupdate -locations none -no-obsolete app engine midi -ts $catalogue" >&2
    echo "and translate the new texts (no entry may stay type=\"unfinished\")." >&2
    exit 1
fi
if grep -q 'type="unfinished"' "$catalogue"; then
    echo "The catalogue has texts without German:" >&2
    grep -B2 'type="unfinished"' "$catalogue" >&2
    exit 1
fi
# One word for each thing (CONTRIBUTING's word table): the words it replaced must not come back.
translations=$(perl -0777 -ne 'print "$1\n" while /<translation>(.*?)<\/translation>/sg' "$catalogue")
avoided='Abbild|Tavrin Update|\<(das|sein|ihr) NAND\>|\<Build\>|(^|[^-[:alnum:]])Update\>|\<ok\>|\<SN:|\<(du|dein|deine)\>'
if grep -nE "$avoided" <<<"$translations" >&2; then
    echo "The German above uses a word that CONTRIBUTING's word table replaces." >&2
    exit 1
fi
echo "The German catalogue is current: $(grep -c '<message>' "$catalogue") texts"
