#!/usr/bin/env bash
# Build figures of scripts/run on the tree BUILD (run by scripts/bench): how
# much of a first build the recorder needs compared with everything (the tests
# are built by scripts/test), and how long a second run takes to find the
# recorder up to date (goal: about a second).
#   bench/build.sh BUILD
source "$(dirname "$0")/../scripts/common.sh"
BUILD="$1"
ratio() { awk -v a="$1" -v b="$2" 'BEGIN {printf (b > 0 ? "%.2f" : "n/a"), a / b}'; }

# Build steps from scratch (compiles, links, code generators), whatever is
# built already.
steps() { ninja -C "$BUILD" -t commands "$@" | wc -l; }
RECORDER="$(steps kestrune)"
ALL="$(steps all)"
PROGRAMS="$(ninja -C "$BUILD" -t targets all | grep -c -E '^[^ /]*(tests|bench)/[^ /]*(_test|_bench): CXX_EXECUTABLE_LINKER' || true)"

# A second scripts/run up to the program's start: the package check, the
# configuration (already done) and the recorder's build.
cmake --build "$BUILD" --target kestrune >/dev/null
start=$(date +%s.%N)
ensure_packages
configure_tree "$BUILD" "${RELEASE_OPTS[@]}"
cmake --build "$BUILD" -j "$(nproc)" --target kestrune >/dev/null
end=$(date +%s.%N)
SECOND="$(awk -v a="$start" -v b="$end" 'BEGIN {print b - a}')"

printf 'scripts/run builds the recorder: %s build steps of %s for everything (the %s test and benchmark programs are not); ratio %s\n' \
  "$RECORDER" "$ALL" "$PROGRAMS" "$(ratio "$RECORDER" "$ALL")"
printf 'Second scripts/run until the recorder starts: %.2f s; goal 1 s: ratio %s\n' "$SECOND" "$(ratio "$SECOND" 1)"
