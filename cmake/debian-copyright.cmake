# Writes the Debian copyright file (machine-readable format) of the
# package: mvfiles and the yyjson linked into it, both under the MIT
# ("Expat") licence, whose text comes from LICENSE.
file(READ ${PROJECT_SOURCE_DIR}/LICENSE _licence)
string(REGEX REPLACE "^.*\n(Permission is hereby granted)" "\\1" _expat "${_licence}")
string(STRIP "${_expat}" _expat)
# Continuation lines start with a space; an empty line is " .".
string(REGEX REPLACE "\n\n" "\n.\n" _expat "${_expat}")
string(REGEX REPLACE "\n" "\n " _expat "${_expat}")
string(REGEX MATCH "Copyright \\(c\\) [^\n]*" _mvfiles_copyright "${_licence}")
string(REPLACE "Copyright (c) " "" _mvfiles_copyright "${_mvfiles_copyright}")
file(CONFIGURE OUTPUT ${PROJECT_BINARY_DIR}/copyright @ONLY CONTENT
"Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/
Upstream-Name: mvfiles
Comment: libmvfiles.so.1 links yyjson 0.10.0 statically; THIRD-PARTY-NOTICES.txt
 in the sources lists it too.

Files: *
Copyright: @_mvfiles_copyright@
License: Expat

Files: yyjson/*
Copyright: 2020 YaoYuan <ibireme@gmail.com>
License: Expat

License: Expat
 @_expat@
")
