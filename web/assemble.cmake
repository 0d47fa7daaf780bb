# Makes the page's shell: page.html with each "/* @include NAME */" line
# replaced by the file NAME beside it (the parts of the page's script).
#   cmake -DSOURCE=web -DOUTPUT=shell.html -P assemble.cmake
file(READ "${SOURCE}/page.html" page)
string(REGEX MATCHALL "/\\* @include [A-Za-z0-9_.-]+ \\*/" markers "${page}")
foreach(marker IN LISTS markers)
  string(REGEX REPLACE "/\\* @include ([A-Za-z0-9_.-]+) \\*/" "\\1" part "${marker}")
  file(READ "${SOURCE}/${part}" text)
  string(REPLACE "${marker}" "${text}" page "${page}")
endforeach()
file(WRITE "${OUTPUT}.new" "${page}")
file(RENAME "${OUTPUT}.new" "${OUTPUT}")
