#!/usr/bin/env bash
# Runs the examples of the documentation as a reader would type them, each
# document's in order in a fresh folder, with the programs of BINDIR (and
# then python3 of PYTHONBIN, where the d88 package is installed) first on the
# PATH and "y" at any question.  Every command must end with status 0, and
# where the document shows what a command prints, it must print exactly
# that, in order.
#   tests/docs/run_examples.sh BINDIR [PYTHONBIN]
# The examples are the commands of the EXAMPLES sections of the manual pages
# vorkast(1) and d88disk(1) (which show no output), the "$ " lines of the
# README's code blocks that follow a line "<!-- example -->", each with the
# lines below it up to the next "$ " line as what it prints (a block marked
# "<!-- example, output left out -->" shows only part of it, and is not
# compared), and the indented code blocks after a line
# "<!-- example python -->", each run whole by python3 (they check
# themselves with assert).
set -u
root=$(cd "$(dirname "$0")/../.." && pwd)
bindir=$(cd "$1" && pwd)
[ -z "${2:-}" ] || bindir="$bindir:$(cd "$2" && pwd)"
failed=0 ran=0
unshown=$'\x01'  # what stands for output a document does not show

# The lines between .nf and .fi of a manual page's EXAMPLES section, roff
# escapes undone.
man_examples() {
  awk '/^\.SH/ { on = ($2 == "EXAMPLES"); next }
       on && /^\.nf/ { nf = 1; next } /^\.fi/ { nf = 0; next }
       on && nf' "$1" | sed 's/\\-/-/g; s/\\(aq/'"'"'/g'
}

# The commands of a manual page, each with the mark of unshown output, each
# ended by a zero byte.
man_commands() {
  man_examples "$1" | while IFS= read -r line; do printf '%s\0%s\0' "$line" "$unshown"; done
}

# The examples of the README as pairs of zero-ended texts: a command, and
# what it prints (or the mark of unshown output).  A python block is one
# command.
readme_examples() {
  awk -v unshown="$unshown" '
    function end_command() { if (command != "") printf "%s%c%s%c", command, 0, (mode == 1 ? shown : unshown), 0; command = ""; shown = "" }
    /^<!-- example( python|, output left out)? -->$/ { mode = $3 == "python" ? 2 : $0 ~ /left out/ ? 3 : 1; seen = 0; next }
    mode && /^[^ ]/ && seen {
      end_command()
      if (mode == 2) printf "PY\n%c%s%c", 0, unshown, 0
      mode = 0; seen = 0 }
    mode == 2 && /^    / { if (!seen) printf "python3 - <<'"'"'PY'"'"'\n"; seen = 1; sub(/^    /, ""); print; next }
    mode == 2 && /^$/ && seen { print; next }
    (mode == 1 || mode == 3) && /^    \$ / { end_command(); seen = 1; sub(/^    \$ /, ""); command = $0; next }
    (mode == 1 || mode == 3) && /^    / && command != "" { sub(/^    /, ""); shown = shown $0 "\n"; next }
    END { end_command(); if (mode == 2 && seen) printf "PY\n%c%s%c", 0, unshown, 0 }' "$1"
}

run_document() {
  local name=$1 dir printed
  dir=$(mktemp -d)
  while IFS= read -r -d '' command && IFS= read -r -d '' shown; do
    [ -n "$command" ] || continue
    ran=$((ran + 1))
    if ! (cd "$dir" && PATH="$bindir:$PATH" bash -c "$command" >"$dir/.out" 2>&1 <<<"y"); then
      failed=$((failed + 1))
      echo "FAIL $name: ${command%%$'\n'*}"
      sed 's/^/     /' "$dir/.out" | tail -n 5
      continue
    fi
    # A question's answer shows on a terminal after the question.
    printed=$(cat "$dir/.out"; echo .)
    printed=${printed%.}
    [ -n "$printed" ] && [ "${printed: -1}" != $'\n' ] && printed+=$'y\n'
    if [ "$shown" != "$unshown" ] && [ "$printed" != "$shown" ]; then
      failed=$((failed + 1))
      echo "FAIL $name: ${command%%$'\n'*} prints otherwise than shown:"
      diff <(printf '%s' "$shown") <(printf '%s' "$printed") | sed 's/^/     /' | head -n 10
    fi
  done
  rm -rf "$dir"
}

run_document "vorkast(1)" < <(man_commands "$root/man/vorkast.1")
run_document "d88disk(1)" < <(man_commands "$root/man/d88disk.1")
run_document README.md < <(readme_examples "$root/README.md")
run_document python/README.md < <(readme_examples "$root/python/README.md")
echo "$((ran - failed)) passed, $failed failed"
[ "$failed" = 0 ] && [ "$ran" -gt 0 ]
