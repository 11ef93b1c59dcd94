#!/usr/bin/env bash
# fuzz.sh <target> <seconds> [libFuzzer options...]: fuzzes one reader.
# Configures build-fuzz with clang and LUMO_FUZZ=ON (libFuzzer, AddressSanitizer,
# UndefinedBehaviorSanitizer), builds fuzz_<target> and runs it for <seconds>
# on a copy of fuzz/corpus/<target> (plus the target's fixture files of up to
# 64 KiB when ../shared/fixtures exists). New inputs go to
# build-fuzz/corpus/<target>, faulting inputs to build-fuzz/artifacts/<target>/,
# never into the repository. The reader runs in build-fuzz/work/<target>, which
# holds copies of the files of data/ref of up to 1 KiB, so relative names of
# libraries and textures can resolve. (Only tiny images: the texture table
# keeps every image it loaded for the life of the process, so large ones
# would fill the fuzzer's memory limit over millions of inputs.)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
name="${1:?usage: fuzz.sh <target> <seconds> [libFuzzer options...]}"
name="${name#fuzz_}"
seconds="${2:?usage: fuzz.sh <target> <seconds> [libFuzzer options...]}"
shift 2
build="$root/build-fuzz"

if [ ! -f "$build/CMakeCache.txt" ]; then
  CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLUMO_FUZZ=ON \
    -DLUMO_BUILD_TESTS=OFF -DLUMO_BUILD_BENCH=OFF >/dev/null
fi
nice -n 5 cmake --build "$build" --target "fuzz_$name" -j 2

corpus="$build/corpus/$name"
work="$build/work/$name"
artifacts="$build/artifacts/$name"
rm -rf "$work"
mkdir -p "$corpus" "$work" "$artifacts"
cp -n "fuzz/corpus/$name"/* "$corpus"/
find data/ref -maxdepth 1 -type f -size -2k -exec cp {} "$work"/ \;
fixtures="$root/../shared/fixtures"
if [ -d "$fixtures" ] && [ -f "$build/fuzz/fuzz_$name.fixtures" ]; then
  while read -r pattern; do
    [ -n "$pattern" ] || continue
    folder="${pattern%/\*}"; ext=""
    case "$pattern" in */\*.*) folder="${pattern%/\*.*}"; ext="${pattern##*/\*}";; esac
    [ -d "$fixtures/$folder" ] || continue
    find "$fixtures/$folder" -type f -iname "*$ext" -size -64k -exec cp -n {} "$corpus"/ \;
  done < "$build/fuzz/fuzz_$name.fixtures"
fi

cd "$work"
exec "$build/fuzz/fuzz_$name" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
  -artifact_prefix="$artifacts/" -print_final_stats=1 "$@" "$corpus"
