#!/bin/sh
# Runs a Windows program of the cross build under wine, quietly, with UTF-8
# arguments arriving whole.
WINEDEBUG=-all LC_ALL=C.UTF-8 exec /usr/lib/wine/wine64 "$@"
