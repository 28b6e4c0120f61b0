#!/bin/sh
# The shared library's dynamic symbol table defines exactly the six C entry points.
set -eu
lib="$1"
expected="mw_grimtide_sim_create
mw_grimtide_sim_destroy
mw_grimtide_sim_fire
mw_grimtide_sim_interact
mw_grimtide_sim_snapshot
mw_grimtide_sim_step"
actual=$(nm -D --defined-only "$lib" | awk '{print $NF}' | sed 's/@.*//' | LC_ALL=C sort)
if [ "$actual" != "$expected" ]; then
    echo "unexpected exported symbols of $lib:"
    echo "$actual"
    exit 1
fi
echo "exports ok: 6 symbols"
