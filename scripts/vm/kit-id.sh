#!/usr/bin/env bash
# The name of the test machine kit that this checkout's init script needs (a kit is made once for
# each version of the script, so checkouts of other versions do not replace each other's kit).
sha256sum "$(dirname "$0")/init" | cut -c1-16
