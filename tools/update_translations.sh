#!/usr/bin/env bash
# Collects every translatable text of the forms (resources/*.ui) and of the
# widget code (app/, preview/, viewer/, scene/) into the translation sources
# resources/translations/en.ts and cn.ts, keeping the translations they hold.
# New texts arrive unfinished: translate them (Qt Linguist or by hand), then
# build; the build compiles the sources into data/language/en.qm and cn.qm.
set -euo pipefail
cd "$(dirname "$0")/.."
sources=(resources/*.ui)
for d in app preview viewer scene; do
  sources+=($(find "$d" -maxdepth 1 \( -name '*.cpp' -o -name '*.h' \) | sort))
done
# lupdate's notes on out-of-line class members are noise here.
quiet() { grep -v -e 'Qualifying with unknown namespace' -e 'Ignoring definition of undeclared' || true; }
lupdate -silent -no-obsolete -locations none -source-language en "${sources[@]}" \
  -target-language en -ts resources/translations/en.ts 2>&1 | quiet
lupdate -silent -no-obsolete -locations none -source-language en "${sources[@]}" \
  -target-language zh_CN -ts resources/translations/cn.ts 2>&1 | quiet
grep -c 'type="unfinished"' resources/translations/*.ts || true
