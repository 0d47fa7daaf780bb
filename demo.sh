#!/usr/bin/env bash
# A first run: build the two programs (no tests, so CMake and a C++ compiler
# are all it needs), make sample images, complete the game disk, and show a
# game track before and after.
set -eu
cd "$(dirname "$0")"

build=build-demo
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DVORKAST_TESTS=OFF >/dev/null
cmake --build "$build" -j "$(nproc 2>/dev/null || echo 2)" >/dev/null
demo=$build/demo
rm -rf "$demo"

show() {
  echo
  echo "\$ $*"
  "$@"
}

show "$build/d88disk" sample "$demo"
echo
echo "\$ $build/d88disk info $demo/GAME.D88 --tracks | head -n 2"
"$build/d88disk" info "$demo/GAME.D88" --tracks | head -n 2
status=0
show "$build/vorkast" "$demo/GAME.D88" "$demo/DATA1.D88" "$demo/DATA2.D88" || status=$?
echo "(exit status $status)"
[ "$status" = 0 ] || exit "$status"
echo
echo "\$ $build/d88disk info $demo/GAME.NEW.D88 --tracks | head -n 2"
"$build/d88disk" info "$demo/GAME.NEW.D88" --tracks | head -n 2
echo
echo "\$ $build/d88disk info $demo/GAME.NEW.D88 --sector 0 0 1 | head -n 3"
"$build/d88disk" info "$demo/GAME.NEW.D88" --sector 0 0 1 | head -n 3
echo
echo "Run it again and vorkast asks before it replaces $demo/GAME.NEW.D88."
