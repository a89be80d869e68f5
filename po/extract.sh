#!/bin/sh
# Extracts every translatable text of satclock (everything under src/) into a
# message template.
# Usage: extract.sh <source folder> <output .pot>
set -eu
top=$1
out=$2
cd "$top"
# shellcheck disable=SC2046
xgettext --language=C++ --from-code=UTF-8 --keyword=_ --keyword=N_ --keyword=C_:1c,2 \
  --keyword=NC_:1c,2 --keyword=ngettext:1,2 --add-comments=TRANSLATORS: \
  --package-name=satclock --package-version=1.2.1 --msgid-bugs-address=satclock@example.org \
  --sort-by-file -o "$out" $(find src -name "*.cpp" -o -name "*.h" | LC_ALL=C sort)
sed -i "s/charset=CHARSET/charset=UTF-8/" "$out"
