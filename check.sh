#!/usr/bin/env bash
# Builds vorkast and runs every test: a plain build, a build with
# AddressSanitizer and UndefinedBehaviorSanitizer, and (where clang++ is
# installed) a clang build.  Warnings are errors in all of them.
set -euo pipefail
cd "$(dirname "$0")"

jobs=$(nproc 2>/dev/null || echo 2)
generator=()
command -v ninja >/dev/null && generator=(-G Ninja)

build_and_test() {
  local dir=$1
  shift
  echo "== $dir"
  cmake -S . -B "$dir" "${generator[@]}" -DVORKAST_WERROR=ON "$@" >/dev/null
  cmake --build "$dir" -j "$jobs"
  ctest --test-dir "$dir" --output-on-failure -j "$jobs"
}

build_and_test build

echo "== install"
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install build --prefix "$prefix" >/dev/null
"$prefix/bin/d88disk" sample "$prefix/demo" >/dev/null
"$prefix/bin/vorkast" "$prefix/demo/GAME.D88" "$prefix/demo/DATA1.D88" "$prefix/demo/DATA2.D88"
"$prefix/bin/d88disk" info "$prefix/demo/GAME.NEW.D88"
for page in vorkast d88disk; do
  test -s "$prefix/share/man/man1/$page.1"
done
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:exitcode=86 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  build_and_test build-sanitize -DVORKAST_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug
if command -v clang++ >/dev/null; then
  build_and_test build-clang -DCMAKE_CXX_COMPILER=clang++
fi
