#!/usr/bin/env bash
# Builds vorkast and runs every test: a plain build, a build with
# AddressSanitizer and UndefinedBehaviorSanitizer, (where clang++ is
# installed) a clang build, and (where MinGW-w64 and wine are installed) the
# Windows build under wine.  Warnings are errors in all of them.
set -euo pipefail
cd "$(dirname "$0")"
root=$PWD

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

# prints PATTERN COMMAND...: the command succeeds and one of its lines matches.
# The whole output is read first, so the command never writes into a closed pipe.
prints() {
  local pattern=$1 out
  shift
  out=$("$@")
  grep -q -- "$pattern" <<<"$out" || { echo "$*: no line matches $pattern"; echo "$out" | tail -n 5; return 1; }
}

echo "== install"
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install build --prefix "$prefix" >/dev/null
"$prefix/bin/d88disk" sample "$prefix/demo" >/dev/null
"$prefix/bin/vorkast" "$prefix/demo/GAME.D88" "$prefix/demo/DATA1.D88" "$prefix/demo/DATA2.D88"
"$prefix/bin/d88disk" info "$prefix/demo/GAME.NEW.D88"
# The samples' completed track 79 starts with data disk #2's last cylinder.
prints '|track 79 part 00|$' "$prefix/bin/d88disk" info "$prefix/demo/GAME.NEW.D88" --sector 39 1 1
# What only a process shows: the program's exit status, and a real standard
# input at the overwrite question.
asked="'GAME.NEW.D88' already exists
overwrite ? (Y or N): "
if (cd "$prefix/demo" && printf 'x\nn' | "$prefix/bin/vorkast" GAME.D88 DATA1.D88 DATA2.D88 >said.txt); then
  echo "a declined overwrite ended with status 0"
  exit 1
fi
(cd "$prefix/demo" && printf 'x\ny' | "$prefix/bin/vorkast" GAME.D88 DATA1.D88 DATA2.D88 >>said.txt)
[ "$(cat "$prefix/demo/said.txt")" = "$asked$asked" ] || { cat "$prefix/demo/said.txt"; exit 1; }
for page in vorkast d88disk; do
  test -s "$prefix/share/man/man1/$page.1"
done

echo "== the library for other programs"
# The installed package, found with find_package and with pkg-config.
cmake -S examples -B "$prefix/examples" "${generator[@]}" -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$prefix/examples" >/dev/null
prints '^disk 0: "SAMPLE GAME     " 2D, 348848 bytes$' "$prefix/examples/d88ls" "$prefix/demo/GAME.D88"
export PKG_CONFIG_PATH="$prefix/lib/pkgconfig"
# shellcheck disable=SC2046
c++ -std=c++17 examples/d88ls.cpp $(pkg-config --cflags --libs d88) -o "$prefix/d88ls"
prints '^  track  79: C 39 H 1, 16 sectors$' "$prefix/d88ls" "$prefix/demo/DATA1.D88"
# A shared release build: it exports the functions of d88.h and nothing else,
# serves find_package from another prefix, and makes the Debian package.
cmake -S . -B build-release "${generator[@]}" -DCMAKE_BUILD_TYPE=Release -DBUILD_SHARED_LIBS=ON -DVORKAST_TESTS=OFF >/dev/null
cmake --build build-release -j "$jobs" >/dev/null
cmake --install build-release --prefix "$prefix/shared" >/dev/null
public=$(sed -n 's/^D88_API [^(]*[ *]\([a-z0-9_]*\)(.*/\1/p' d88/d88.h | sort)
exported=$(nm -D --defined-only -C "$prefix/shared/lib/libd88.so" | awk '$2 == "T" { sub(/\(.*/, "", $3); print $3 }' | sort)
[ "$public" = "$exported" ] || { echo "libd88.so exports:"; echo "$exported"; exit 1; }
cmake -S examples -B "$prefix/examples-shared" "${generator[@]}" -DCMAKE_PREFIX_PATH="$prefix/shared" >/dev/null
cmake --build "$prefix/examples-shared" >/dev/null
prints '^disk 0: ' "$prefix/examples-shared/d88ls" "$prefix/demo/GAME.D88"
echo "libd88.so.1 exports the $(echo "$exported" | wc -l) functions of d88.h alone"
if command -v dpkg-deb >/dev/null; then
  (cd build-release && rm -f ./*.deb && cpack >/dev/null)
  dpkg-deb -c build-release/vorkast_1.0.0_*.deb | awk '{ print $6 }' | grep -E 'bin/|\.so|\.h$|\.pc$|cmake$|man./'
  dpkg -x build-release/vorkast_1.0.0_*.deb "$prefix/deb"
  "$prefix/deb/usr/bin/vorkast" --version
fi

if command -v valgrind >/dev/null; then
  echo "== valgrind"
  # Memcheck over a full run and a few failing ones: status 99 means errors or leaks.
  memcheck() {
    local want=$1
    shift
    local got=0
    valgrind -q --error-exitcode=99 --leak-check=full --show-leak-kinds=all --errors-for-leak-kinds=all \
      "$prefix/bin/vorkast" "$@" </dev/null >/dev/null || got=$?
    if [ "$got" != "$want" ]; then
      echo "valgrind: vorkast $* ended with status $got, not $want"
      exit 1
    fi
  }
  demo=$prefix/demo
  head -c 5000 "$demo/DATA1.D88" >"$demo/CUT.D88"
  memcheck 0 --overwrite "$demo/GAME.D88" "$demo/DATA1.D88" "$demo/DATA2.D88"
  memcheck 1 "$demo/GAME.D88" "$demo/DATA1.D88" "$demo/DATA2.D88"
  memcheck 1 "$demo/GAME.D88" "$demo/CUT.D88" "$demo/DATA2.D88"
  memcheck 1 --overwrite -o /dev/full "$demo/GAME.D88" "$demo/DATA1.D88" "$demo/DATA2.D88"
  memcheck 1 -i 1 "$demo/GAME.D88" "$demo/DATA1.D88" "$demo/DATA2.D88"
  echo "memcheck: 5 runs, no errors, nothing lost"
fi
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:exitcode=86 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  build_and_test build-sanitize -DVORKAST_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug
if command -v clang++ >/dev/null; then
  build_and_test build-clang -DCMAKE_CXX_COMPILER=clang++
fi

if command -v x86_64-w64-mingw32-g++-posix >/dev/null && [ -x /usr/lib/wine/wine64 ]; then
  # One wine server for the whole run, in a prefix of the build's own.
  export WINEDEBUG=-all WINEPREFIX="$PWD/build-windows/wine"
  mkdir -p "$WINEPREFIX"
  /usr/lib/wine/wineserver64 -p || true  # one may be running already
  /usr/lib/wine/wine64 wineboot --init >/dev/null 2>&1  # a new prefix takes seconds to make
  trap 'rm -rf "$prefix"; /usr/lib/wine/wineserver64 -k || true' EXIT
  build_and_test build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake
  echo "== windows: a Japanese name through the real command line"
  demo=$prefix/windows
  "$prefix/bin/d88disk" sample "$demo" >/dev/null
  cp "$demo/GAME.D88" "$demo/ゲーム.D88"
  "$prefix/bin/vorkast" -o "$demo/linux.d88" "$demo/ゲーム.D88" "$demo/DATA1.D88" "$demo/DATA2.D88"
  (cd "$demo" && "$root/cmake/wine-run.sh" "$root/build-windows/vorkast.exe" ゲーム.D88 DATA1.D88 DATA2.D88)
  cmp "$demo/linux.d88" "$demo/ゲーム.NEW.D88"
  said=$(cd "$demo" && "$root/cmake/wine-run.sh" "$root/build-windows/vorkast.exe" ゲーム.D88 DATA1.D88 データ.D88 | tr -d '\r' || true)
  [ "$said" = "$(printf "open error 'データ.D88'\nerror: read d88 image 'データ.D88'")" ] || { echo "windows said: $said"; exit 1; }
  echo "ゲーム.NEW.D88 is byte for byte the Linux build's output"
  (cd build-windows && rm -f ./*.zip && cpack >/dev/null && cmake -E tar tf vorkast-1.0.0-win64.zip)
else
  echo "== build-windows: skipped (needs x86_64-w64-mingw32-g++-posix and wine64)"
fi

if command -v emcc >/dev/null && [ -x /usr/bin/chromium ] && [ -d web/test/node_modules ]; then
  echo "== web page"
  export NODE_PATH=/usr/share/nodejs  # emscripten's optimizer needs acorn
  emcmake cmake -S . -B build-web >/dev/null
  cmake --build build-web --target vorkast_web >/dev/null
  # The console tool's results for the images the browser test picks.
  web=$prefix/web
  "$prefix/bin/d88disk" sample "$web" >/dev/null
  (
    cd "$web"
    "$prefix/bin/vorkast" -o GAME.NEW.D88 GAME.D88 DATA1.D88 DATA2.D88
    cp GAME.D88 G2.D88
    "$prefix/bin/d88disk" set G2.D88 --name ゲーム
    "$prefix/bin/d88disk" join TWO.D88 GAME.D88 G2.D88
    "$prefix/bin/vorkast" -i 1 -o TWO.1.D88 TWO.D88 DATA1.D88 DATA2.D88
    head -c 5000 DATA2.D88 >BROKEN.D88
    "$prefix/bin/vorkast" --overwrite -o /dev/null GAME.D88 DATA1.D88 BROKEN.D88 >BROKEN.txt || true
  )
  node web/test/page.test.mjs build-web/web/index.html "$web"
else
  echo "== web page: skipped (needs emcc, /usr/bin/chromium and npm ci in web/test)"
fi
