#!/usr/bin/env bash
# Builds vorkast and runs every test: a plain build, the installed programs
# and library, the Python package, the documentation's examples, a shared
# release build and its
# packages, valgrind, a build with AddressSanitizer and
# UndefinedBehaviorSanitizer, (where clang++ is installed) a clang build,
# (where MinGW-w64 and wine are installed) the Windows build under wine, and
# (where emscripten and chromium are installed) the web page.  Warnings are
# errors in all of them.
#
# It says one line per stage and the tests' summaries; everything else goes
# to a log per stage in build-logs/, shown when its stage fails.
set -euo pipefail
cd "$(dirname "$0")"
root=$PWD

jobs=$(nproc 2>/dev/null || echo 2)
generator=()
command -v ninja >/dev/null && generator=(-G Ninja)
logs=$root/build-logs
rm -rf "$logs"
mkdir -p "$logs"
exec 3>&1  # the console, for what a stage says while its output goes to its log

prefix=$(mktemp -d)
cleanup() { rm -rf "$prefix"; }
trap cleanup EXIT

# stage NAME COMMAND...: runs the command with its output in the stage's log;
# when it fails, shows the log and stops.
stages_passed=0
stage() {
  local name=$1 log
  shift
  log=$logs/$(echo "$name" | tr -c 'a-zA-Z0-9\n' '-').log
  echo "== $name"
  set +e
  (set -e; "$@") >"$log" 2>&1  # not in a condition, so that -e holds inside
  local status=$?
  set -e
  if [ "$status" != 0 ]; then
    echo "FAILED: $name (log: $log)"
    tail -n 200 "$log"
    echo "stages: $stages_passed passed, 1 failed"
    exit 1
  fi
  stages_passed=$((stages_passed + 1))
}

# Says a line on the console from inside a stage.
say() { echo "   $*" >&3; }

build_and_test() {
  local dir=$1
  shift
  cmake -S . -B "$dir" "${generator[@]}" -DVORKAST_WERROR=ON "$@"
  cmake --build "$dir" -j "$jobs"
  local out
  out=$(ctest --test-dir "$dir" --output-on-failure -j "$jobs" 2>&1) || { echo "$out"; return 1; }
  echo "$out"
  say "$dir: $(grep -E '^[0-9]+% tests passed' <<<"$out")"
}

# prints PATTERN COMMAND...: the command succeeds and one of its lines matches.
# The whole output is read first, so the command never writes into a closed pipe.
prints() {
  local pattern=$1 out
  shift
  out=$("$@")
  grep -q -- "$pattern" <<<"$out" || { echo "$*: no line matches $pattern"; echo "$out" | tail -n 5; return 1; }
}

installed_programs() {
  cmake --install build --prefix "$prefix"
  local bin=$prefix/bin demo=$prefix/demo
  "$bin/d88disk" sample "$demo"
  "$bin/vorkast" "$demo/GAME.D88" "$demo/DATA1.D88" "$demo/DATA2.D88"
  "$bin/d88disk" info "$demo/GAME.NEW.D88"
  # The samples' completed track 79 starts with data disk #2's last cylinder.
  prints '|track 79 part 00|$' "$bin/d88disk" info "$demo/GAME.NEW.D88" --sector 27/01/01
  # What only a process shows: the program's exit status, and a real standard
  # input at the overwrite question.
  local asked="'GAME.NEW.D88' already exists
overwrite ? (Y or N): "
  if (cd "$demo" && printf 'x\nn' | "$bin/vorkast" GAME.D88 DATA1.D88 DATA2.D88 >said.txt); then
    echo "a declined overwrite ended with status 0"
    return 1
  fi
  (cd "$demo" && printf 'x\ny' | "$bin/vorkast" GAME.D88 DATA1.D88 DATA2.D88 >>said.txt)
  [ "$(cat "$demo/said.txt")" = "$asked$asked" ] || { cat "$demo/said.txt"; return 1; }
  for page in vorkast d88disk; do
    test -s "$prefix/share/man/man1/$page.1"
  done
}

# The Python package installed as its README says where no package index
# can be reached: the README's line, run in a copy of the sources in an
# empty folder, in a virtual environment that sees Debian's setuptools and
# wheel, with no index, link or pip configuration to help.  What it
# installs must be the package's Python, its types and the built module, no
# C++; its tests run against the installed programs.  The source archive,
# made from the same copy, carries the sources a build needs.
python_package() {
  local venv=$prefix/venv tree=$prefix/tree out listing file
  mkdir -p "$tree"
  cp -r CMakeLists.txt LICENSE d88 tool common python "$tree"
  rm -rf "$tree/python/build" "$tree"/python/*.egg-info "$tree/python/dist"
  /usr/bin/python3 -m venv --system-site-packages "$venv"
  (
    cd "$tree"
    # shellcheck disable=SC1091
    . "$venv/bin/activate"
    unset PIP_FIND_LINKS PIP_INDEX_URL PIP_EXTRA_INDEX_URL
    export PIP_CONFIG_FILE=/dev/null
    python3 -m pip install --no-build-isolation --no-index ./python
  )
  listing=$("$venv/bin/python" -m pip show -f d88)
  echo "$listing"
  if grep -E '\.(c|cpp|h)$' <<<"$listing"; then
    echo "the installed package carries C++ sources"
    return 1
  fi
  out=$(cd "$prefix" && VORKAST_BIN="$prefix/bin" "$venv/bin/python" -m pytest -p no:cacheprovider "$root/python/tests" 2>&1) \
    || { echo "$out"; return 1; }
  echo "$out"
  say "python: $(tail -n 1 <<<"$out" | tr -d '=')"
  (cd "$tree/python" && /usr/bin/python3 setup.py -q sdist -d "$prefix/dist")
  listing=$(tar -tzf "$prefix"/dist/d88-*.tar.gz)
  for file in d88/_native.cpp native/CMakeLists.txt native/d88/d88.h native/d88/core/read.cpp native/tool/job.h; do
    grep -q "^d88-[0-9.]*/$file$" <<<"$listing" || { echo "the source archive lacks $file"; return 1; }
  done
}

documentation_examples() {
  local out
  out=$(tests/docs/run_examples.sh "$prefix/bin" "$prefix/venv/bin") || { echo "$out"; return 1; }
  say "examples: $(tail -n 1 <<<"$out")"
}

library_for_other_programs() {
  # The installed package, found with find_package and with pkg-config.
  cmake -S examples -B "$prefix/examples" "${generator[@]}" -DCMAKE_PREFIX_PATH="$prefix"
  cmake --build "$prefix/examples"
  prints '^disk 0: "SAMPLE GAME     " 2D, 348848 bytes$' "$prefix/examples/d88ls" "$prefix/demo/GAME.D88"
  export PKG_CONFIG_PATH="$prefix/lib/pkgconfig"
  # shellcheck disable=SC2046
  c++ -std=c++17 examples/d88ls.cpp $(pkg-config --cflags --libs d88) -o "$prefix/d88ls"
  prints '^  track  79: C 39 H 1, 16 sectors$' "$prefix/d88ls" "$prefix/demo/DATA1.D88"
  # The same program in C99, linked statically: its output is the C++ one's.
  local c_flags=(-std=c99 -Wall -Wextra -Wpedantic -Werror) samples=("$prefix/demo/GAME.D88" "$prefix/demo/DATA1.D88")
  # shellcheck disable=SC2046
  cc "${c_flags[@]}" examples/d88ls.c $(pkg-config --cflags d88) $(pkg-config --static --libs d88) -o "$prefix/d88ls-c"
  cmp <("$prefix/d88ls" "${samples[@]}") <("$prefix/d88ls-c" "${samples[@]}")
  cmp <("$prefix/d88ls" "${samples[@]}") <("$prefix/examples/d88ls_c" "${samples[@]}")
  # A shared release build: it exports the functions of d88.h and nothing else,
  # serves find_package from another prefix, and makes the Debian package.
  cmake -S . -B build-release "${generator[@]}" -DCMAKE_BUILD_TYPE=Release -DBUILD_SHARED_LIBS=ON -DVORKAST_TESTS=OFF
  cmake --build build-release -j "$jobs"
  cmake --install build-release --prefix "$prefix/shared"
  local public exported
  public=$(sed -n 's/^D88_API [^(]*[ *]\([a-z0-9_]*\)(.*/\1/p' d88/d88.h | sort)
  exported=$(nm -D --defined-only "$prefix/shared/lib/libd88.so" | awk '$2 == "T" { print $3 }' | sort)
  [ "$public" = "$exported" ] || { echo "libd88.so exports:"; echo "$exported"; return 1; }
  cmake -S examples -B "$prefix/examples-shared" "${generator[@]}" -DCMAKE_PREFIX_PATH="$prefix/shared"
  cmake --build "$prefix/examples-shared"
  prints '^disk 0: ' "$prefix/examples-shared/d88ls" "$prefix/demo/GAME.D88"
  # shellcheck disable=SC2046
  cc "${c_flags[@]}" examples/d88ls.c $(PKG_CONFIG_PATH="$prefix/shared/lib/pkgconfig" pkg-config --cflags --libs d88) \
    -Wl,-rpath,"$prefix/shared/lib" -o "$prefix/d88ls-c-shared"
  prints "libd88.so.2 => $prefix/shared/lib" ldd "$prefix/d88ls-c-shared"
  cmp <("$prefix/d88ls" "${samples[@]}") <("$prefix/d88ls-c-shared" "${samples[@]}")
  say "libd88.so.2 exports the $(echo "$exported" | wc -l) functions of d88.h alone, unmangled; d88ls.c (C99) lists as d88ls.cpp does, linked statically and shared"
  say "$(cmake/check_layering.sh build/libd88_internal.a)"
  # Each listing is read whole before it is searched: under pipefail, a
  # reader that stops early would fail the stage at random with SIGPIPE.
  if grep -q run_vorkast <<<"$(nm -C build/d88disk)"; then
    echo "d88disk holds vorkast's run"
    return 1
  fi
  if command -v dpkg-deb >/dev/null; then
    (cd build-release && rm -f ./*.deb && cpack)
    dpkg-deb -c build-release/vorkast_*.deb | awk '{ print $6 }' | grep -E 'bin/|\.so|\.h$|\.pc$|cmake$|man./'
    dpkg -x build-release/vorkast_*.deb "$prefix/deb"
    say "$(basename build-release/vorkast_*.deb): $("$prefix/deb/usr/bin/vorkast" --version)"
  fi
}

# Memcheck over a full run and a few failing ones: status 99 means errors or leaks.
memcheck() {
  local want=$1 got=0
  shift
  valgrind -q --error-exitcode=99 --leak-check=full --show-leak-kinds=all --errors-for-leak-kinds=all \
    "$prefix/bin/vorkast" "$@" </dev/null || got=$?
  if [ "$got" != "$want" ]; then
    echo "valgrind: vorkast $* ended with status $got, not $want"
    return 1
  fi
}

valgrind_runs() {
  local demo=$prefix/demo
  head -c 5000 "$demo/DATA1.D88" >"$demo/CUT.D88"
  memcheck 0 --overwrite "$demo/GAME.D88" "$demo/DATA1.D88" "$demo/DATA2.D88"
  memcheck 1 "$demo/GAME.D88" "$demo/DATA1.D88" "$demo/DATA2.D88"
  memcheck 1 "$demo/GAME.D88" "$demo/CUT.D88" "$demo/DATA2.D88"
  memcheck 1 --overwrite -o /dev/full "$demo/GAME.D88" "$demo/DATA1.D88" "$demo/DATA2.D88"
  memcheck 1 -i 1 "$demo/GAME.D88" "$demo/DATA1.D88" "$demo/DATA2.D88"
  memcheck 1 --overwrite "$demo/GAME.NEW.D88" "$demo/DATA1.D88" "$demo/DATA2.D88"
  say "memcheck: 6 runs, no errors, nothing lost"
}

windows_build() {
  build_and_test build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake
  # A Japanese name through the real command line.
  local demo=$prefix/windows
  "$prefix/bin/d88disk" sample "$demo"
  cp "$demo/GAME.D88" "$demo/ゲーム.D88"
  "$prefix/bin/vorkast" -o "$demo/linux.d88" "$demo/ゲーム.D88" "$demo/DATA1.D88" "$demo/DATA2.D88"
  (cd "$demo" && "$root/cmake/wine-run.sh" "$root/build-windows/vorkast.exe" ゲーム.D88 DATA1.D88 DATA2.D88)
  cmp "$demo/linux.d88" "$demo/ゲーム.NEW.D88"
  local said
  said=$(cd "$demo" && "$root/cmake/wine-run.sh" "$root/build-windows/vorkast.exe" ゲーム.D88 DATA1.D88 データ.D88 | tr -d '\r' || true)
  [ "$said" = "$(printf "open error 'データ.D88'\nerror: read d88 image 'データ.D88'")" ] || { echo "windows said: $said"; return 1; }
  say "ゲーム.NEW.D88 is byte for byte the Linux build's output"
  (cd build-windows && rm -f ./*.zip && cpack)
  local listing
  listing=$(cd build-windows && cmake -E tar tf vorkast-*-win64.zip)
  echo "$listing"
  for file in vorkast.exe d88disk.exe README.md LICENSE vorkast.txt d88disk.txt; do
    grep -qE "^vorkast-[0-9.]+-win64/$file$" <<<"$listing" || { echo "the zip lacks $file"; return 1; }
  done
  say "$(cd build-windows && ls vorkast-*-win64.zip): one folder, both programs, README, LICENSE, text manuals"
}

web_page() {
  emcmake cmake -S . -B build-web
  cmake --build build-web --target vorkast_web
  # The console tools' results for the images the browser test picks.
  local web=$prefix/web bin=$prefix/bin
  "$bin/d88disk" sample "$web"
  (
    cd "$web"
    "$bin/vorkast" -o GAME.NEW.D88 GAME.D88 DATA1.D88 DATA2.D88
    cp GAME.D88 G2.D88
    "$bin/d88disk" set G2.D88 --name ゲーム
    "$bin/d88disk" join TWO.D88 GAME.D88 G2.D88
    "$bin/vorkast" -i 1 -o TWO.1.D88 TWO.D88 DATA1.D88 DATA2.D88
    head -c 5000 DATA2.D88 >BROKEN.D88
    cp DATA1.D88 PROTECTED.D88
    printf '\001' | dd of=PROTECTED.D88 bs=1 seek=26 conv=notrunc status=none
    "$bin/d88disk" repair PROTECTED.D88 PROTECTED.FIXED.D88
    head -c 100 GAME.D88 >NODISK.D88
    "$bin/d88disk" convert GAME.D88 GAME.IMD
    "$bin/d88disk" convert GAME.D88 GAME.HFE
    # Disks with files for the file explorer: FAT12, N88-BASIC and
    # Hu-BASIC, each made, formatted and filled by d88disk (a name in
    # kana among them); a write-protected one; a flux dump of the completed
    # image; a text file to add.
    printf '10 PRINT "HELLO"\r\n' >HELLO.TXT
    seq 1 9000 >NUMBERS.TXT
    printf 'A NOTE\r\n' >NOTE.TXT
    "$bin/d88disk" create 2hd1232 FAT.D88
    "$bin/d88disk" format FAT.D88 --fs fat12
    "$bin/d88disk" put FAT.D88 HELLO.TXT --date 2024-05-06T07:08:10
    "$bin/d88disk" put FAT.D88 NUMBERS.TXT --date 1999-12-31T23:59:58
    "$bin/d88disk" put FAT.D88 NOTE.TXT --as ゲーム.TXT --date 2024-05-06T07:08:10
    "$bin/d88disk" create 2d N88.D88
    "$bin/d88disk" format N88.D88 --fs n88
    "$bin/d88disk" put N88.D88 HELLO.TXT --as HELLO.BAS --type asc
    "$bin/d88disk" put N88.D88 NUMBERS.TXT
    "$bin/d88disk" create 2d HU.D88
    "$bin/d88disk" format HU.D88 --fs hu
    "$bin/d88disk" put HU.D88 HELLO.TXT --type asc --date 2024-05-06T07:08
    "$bin/d88disk" put HU.D88 NUMBERS.TXT --load 0x8000 --exec 0x8010 --date 2001-02-03T04:05
    cp FAT.D88 LOCKED.D88
    "$bin/d88disk" set LOCKED.D88 --protect
    "$bin/d88disk" convert GAME.NEW.D88 GAME.NEW.SCP --force
  )
  local out
  out=$(node web/test/page.test.mjs build-web/web/index.html "$web" "$bin/d88disk") || { echo "$out"; return 1; }
  echo "$out"
  say "page: $(tail -n 1 <<<"$out")"
}

stage "build and test (build/)" build_and_test build
stage "installed programs" installed_programs
stage "the python package" python_package
stage "documentation examples" documentation_examples
stage "the library for other programs" library_for_other_programs
if command -v valgrind >/dev/null; then
  stage valgrind valgrind_runs
else
  echo "== valgrind: skipped (not installed)"
fi
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:exitcode=86 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  stage "sanitizers (build-sanitize/)" build_and_test build-sanitize -DVORKAST_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug
if command -v clang++ >/dev/null; then
  stage "clang (build-clang/)" build_and_test build-clang -DCMAKE_CXX_COMPILER=clang++
else
  echo "== clang: skipped (needs clang++)"
fi

if command -v x86_64-w64-mingw32-g++-posix >/dev/null && [ -x /usr/lib/wine/wine64 ]; then
  # One wine server for the whole run, in a prefix of the build's own.
  export WINEDEBUG=-all WINEPREFIX="$PWD/build-windows/wine"
  mkdir -p "$WINEPREFIX"
  /usr/lib/wine/wineserver64 -p || true  # one may be running already
  /usr/lib/wine/wine64 wineboot --init >/dev/null 2>&1  # a new prefix takes seconds to make
  cleanup() { rm -rf "$prefix"; /usr/lib/wine/wineserver64 -k || true; }
  stage "windows under wine (build-windows/)" windows_build
else
  echo "== windows: skipped (needs x86_64-w64-mingw32-g++-posix and wine64)"
fi

# The browser test's packages, as web/test/package-lock.json pins them, are
# installed here when they are missing and npm can install them.
if command -v emcc >/dev/null && [ -x /usr/bin/chromium ] && [ ! -d web/test/node_modules ] && command -v npm >/dev/null; then
  (cd web/test && npm ci --no-audit --no-fund) >"$logs/web-npm-ci.log" 2>&1 || rm -rf web/test/node_modules
fi
if command -v emcc >/dev/null && [ -x /usr/bin/chromium ] && [ -d web/test/node_modules ]; then
  stage "web page in chromium (build-web/)" web_page
elif command -v emcc >/dev/null && [ -x /usr/bin/chromium ]; then
  echo "== web page: skipped (its test's packages are missing: run 'cd web/test && npm ci')"
else
  echo "== web page: skipped (needs emcc and /usr/bin/chromium: apt-get install emscripten chromium)"
fi

echo "stages: $stages_passed passed, 0 failed"
