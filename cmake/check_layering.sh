#!/usr/bin/env bash
# check_layering.sh ARCHIVE: the library's files call each other in layers
# only.  From the static library ARCHIVE it takes which file defines each
# function and which files call it, and fails, naming the files, when the
# calls come back round to a file they started from (two files calling each
# other, or a longer loop).
set -euo pipefail
archive=$1
edges=$(mktemp)
trap 'rm -f "$edges" "$edges.loop"' EXIT
# nm -A names each symbol's member: "ARCHIVE:MEMBER: ... TYPE NAME".
nm -A -g "$archive" | awk '
  { split($1, at, ":"); file = at[2]; type = $(NF - 1); symbol = $NF }
  type == "U" { uses[++n] = file " " symbol; next }
  type ~ /^[TDBRVW]$/ { owner[symbol] = file }
  END {
    for (i = 1; i <= n; ++i) {
      split(uses[i], u, " ")
      if ((u[2] in owner) && owner[u[2]] != u[1]) print u[1], owner[u[2]]
    }
  }' | sort -u >"$edges"
if ! tsort "$edges" >/dev/null 2>"$edges.loop"; then
  echo "the library's files call each other in a loop:"
  sed 's/^tsort: //' "$edges.loop"
  exit 1
fi
echo "$(wc -l <"$edges") calls between the library's files, in layers"
