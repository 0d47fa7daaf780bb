#!/usr/bin/env bash
# Runs the examples of the documentation as a reader would type them, each
# document's in order in a fresh folder, with the programs of BINDIR first on
# the PATH and "y" at any question.  Every command must end with status 0.
#   tests/docs/run_examples.sh BINDIR
# The examples are the commands of the EXAMPLES sections of the manual pages
# vorkast(1) and d88disk(1), and the "$ " lines of the README's code blocks
# that follow a line "<!-- example -->".
set -u
root=$(cd "$(dirname "$0")/../.." && pwd)
bindir=$(cd "$1" && pwd)
failed=0 ran=0

# The lines between .nf and .fi of a manual page's EXAMPLES section, roff
# escapes undone.
man_examples() {
  awk '/^\.SH/ { on = ($2 == "EXAMPLES"); next }
       on && /^\.nf/ { nf = 1; next } /^\.fi/ { nf = 0; next }
       on && nf' "$1" | sed 's/\\-/-/g; s/\\(aq/'"'"'/g'
}

# The "$ " lines of the indented code block after each "<!-- example -->".
readme_examples() {
  awk '/^<!-- example -->$/ { marked = 1; next }
       marked && /^[^ ]/ && seen { marked = 0; seen = 0 }
       marked && /^    / { seen = 1 }
       marked && /^    \$ / { sub(/^    \$ /, ""); print }' "$1"
}

run_document() {
  local name=$1 dir
  dir=$(mktemp -d)
  while IFS= read -r command; do
    [ -n "$command" ] || continue
    ran=$((ran + 1))
    if ! (cd "$dir" && PATH="$bindir:$PATH" bash -c "$command" >"$dir/.out" 2>&1 <<<"y"); then
      failed=$((failed + 1))
      echo "FAIL $name: $command"
      sed 's/^/     /' "$dir/.out" | tail -n 5
    fi
  done
  rm -rf "$dir"
}

run_document "vorkast(1)" < <(man_examples "$root/man/vorkast.1")
run_document "d88disk(1)" < <(man_examples "$root/man/d88disk.1")
run_document README.md < <(readme_examples "$root/README.md")
echo "$((ran - failed)) passed, $failed failed"
[ "$failed" = 0 ] && [ "$ran" -gt 0 ]
