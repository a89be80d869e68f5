#!/bin/sh
# Extracts every translatable text of satclock into a message template.
# Usage: extract.sh <source folder> <output .pot>
set -eu
top=$1
out=$2
cd "$top"
# shellcheck disable=SC2046
xgettext --language=C++ --from-code=UTF-8 --keyword=_ --keyword=N_ --keyword=C_:1c,2 \
  --keyword=NC_:1c,2 --keyword=ngettext:1,2 --add-comments=TRANSLATORS: \
  --package-name=satclock --package-version=1.2.1 --msgid-bugs-address=satclock@example.org \
  --sort-by-file -o "$out" $(ls src/ui/*.cpp src/ui/*.h | LC_ALL=C sort)
