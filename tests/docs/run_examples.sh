#!/usr/bin/env bash
# Runs the examples of the documentation as a reader would type them, each
# document's in order in a fresh folder, with the programs of BINDIR (and
# then python3 of PYTHONBIN, where the d88 package is installed) first on the
# PATH and "y" at any question.  Every command must end with status 0.
#   tests/docs/run_examples.sh BINDIR [PYTHONBIN]
# The examples are the commands of the EXAMPLES sections of the manual pages
# vorkast(1) and d88disk(1), and the "$ " lines of the README's code blocks
# that follow a line "<!-- example -->", and the indented code blocks after a
# line "<!-- example python -->", each run whole by python3.
set -u
root=$(cd "$(dirname "$0")/../.." && pwd)
bindir=$(cd "$1" && pwd)
[ -z "${2:-}" ] || bindir="$bindir:$(cd "$2" && pwd)"
failed=0 ran=0

# The lines between .nf and .fi of a manual page's EXAMPLES section, roff
# escapes undone.
man_examples() {
  awk '/^\.SH/ { on = ($2 == "EXAMPLES"); next }
       on && /^\.nf/ { nf = 1; next } /^\.fi/ { nf = 0; next }
       on && nf' "$1" | sed 's/\\-/-/g; s/\\(aq/'"'"'/g'
}

# The examples of the README, each ended by a zero byte: the "$ " lines of
# the indented code block after each "<!-- example -->", and the whole block
# after each "<!-- example python -->" as one python3 command.
readme_examples() {
  awk '/^<!-- example( python)? -->$/ { marked = $3 == "python" ? 2 : 1; next }
       marked && /^[^ ]/ && seen { if (marked == 2) printf "PY\n%c", 0; marked = 0; seen = 0 }
       marked && /^    / { if (marked == 2 && !seen) printf "python3 - <<'"'"'PY'"'"'\n"; seen = 1 }
       marked == 1 && /^    \$ / { sub(/^    \$ /, ""); printf "%s%c", $0, 0 }
       marked == 2 && /^    / { sub(/^    /, ""); print }
       marked == 2 && /^$/ && seen { print }
       END { if (marked == 2 && seen) printf "PY\n%c", 0 }' "$1"
}

# The commands of a manual page, each ended by a zero byte.
man_commands() {
  man_examples "$1" | tr '\n' '\0'
}

run_document() {
  local name=$1 dir
  dir=$(mktemp -d)
  while IFS= read -r -d '' command; do
    [ -n "$command" ] || continue
    ran=$((ran + 1))
    if ! (cd "$dir" && PATH="$bindir:$PATH" bash -c "$command" >"$dir/.out" 2>&1 <<<"y"); then
      failed=$((failed + 1))
      echo "FAIL $name: ${command%%$'\n'*}"
      sed 's/^/     /' "$dir/.out" | tail -n 5
    fi
  done
  rm -rf "$dir"
}

run_document "vorkast(1)" < <(man_commands "$root/man/vorkast.1")
run_document "d88disk(1)" < <(man_commands "$root/man/d88disk.1")
run_document README.md < <(readme_examples "$root/README.md")
echo "$((ran - failed)) passed, $failed failed"
[ "$failed" = 0 ] && [ "$ran" -gt 0 ]
