#!/usr/bin/env bash
# Runs one fuzz harness for a while: scripts/fuzz.sh NAME SECONDS [libFuzzer options...]
# Builds the sanitizer folder (clang, ASan, UBSan, libFuzzer) when needed. New
# inputs go to build-san/fuzz-work/NAME, crashes to build-san/fuzz-crashes/NAME;
# the seed corpus in fuzz/corpus/NAME is read, never written.
set -euo pipefail
cd "$(dirname "$0")/.."
if (($# < 2)); then
  echo "usage: $0 NAME SECONDS [libFuzzer options...]" >&2
  echo "harnesses: $(ls fuzz/corpus | tr '\n' ' ')" >&2
  exit 2
fi
name="$1"; seconds="$2"; shift 2
[ -d "fuzz/corpus/$name" ] || { echo "no harness named $name" >&2; exit 2; }

BUILD="${TOLVANE_SAN_BUILD_DIR:-build-san}"
if [ ! -f "$BUILD/CMakeCache.txt" ]; then
  CC=clang-14 CXX=clang++-14 cmake -S . -B "$BUILD" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DTOLVANE_SANITIZE=ON >/dev/null
fi
cmake --build "$BUILD" -j"$(nproc)" --target "fuzz_$name"

work="$BUILD/fuzz-work/$name"
crashes="$BUILD/fuzz-crashes/$name"
mkdir -p "$work" "$crashes"
exec "$BUILD/bin/fuzz_$name" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=4096 \
  -artifact_prefix="$crashes/" -print_final_stats=1 "$@" "$work" "fuzz/corpus/$name"
