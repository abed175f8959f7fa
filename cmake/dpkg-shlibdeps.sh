#!/bin/sh
# dpkg-shlibdeps as CPack runs it for the Debian package, leaving libyyjson0
# out: package.cmake names it once itself, with the 0.10 the library is
# built and tested against (yyjson's symbols alone would allow 0.9).
exec dpkg-shlibdeps -xlibyyjson0 "$@"
