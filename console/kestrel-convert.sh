#!/bin/sh
# Starts the console program from its application folder, wherever the prefix is.
exec "$(dirname "$(readlink -f "$0")")/../lib/kestrel/kestrel-convert" "$@"
