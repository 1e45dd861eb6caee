#!/usr/bin/env bash
# scripts/check-layers on a small tree of its own: each include down the chain engine, device,
# klxpxclnt, devicekit passes, each include up it is refused with the place named; both front ends
# (the headless tool and the window) reach everything below through the engine.
set -euo pipefail
check=$1
tree=$(mktemp -d)
trap 'rm -rf "$tree"' EXIT

failures=0
# folder  included  expected status
while read -r folder included expected; do
  rm -rf "$tree"/*
  mkdir -p "$tree/$folder"
  printf '#pragma once\n#include "%s/x.h"\n' "$included" >"$tree/$folder/a.h"
  status=0
  err=$("$check" "$tree" 2>&1) || status=$?
  if [ "$status" -ne "$expected" ]; then
    echo "FAIL: $folder/ including $included/ gave $status, not $expected: $err"; failures=$((failures + 1))
  elif [ "$expected" -ne 0 ] && [[ "$err" != "$folder/a.h:2: $folder/ includes $included/, a higher layer" ]] &&
       [[ "$err" != "$folder/a.h:2: $folder/ includes $included/; it reaches that through the engine's session" ]]; then
    echo "FAIL: $folder/ including $included/ said: $err"; failures=$((failures + 1))
  fi
done <<'ROWS'
engine device 0
engine klxpxclnt 0
device klxpxclnt 0
device devicekit 0
klxpxclnt devicekit 0
device engine 1
klxpxclnt device 1
klxpxclnt engine 1
devicekit klxpxclnt 1
devicekit device 1
tools/zarnik-sync engine 0
tools/zarnik-sync tools 0
tools/zarnik-sync platform 1
tools/zarnik-sync service 1
tools/zarnik-sync device 1
tools/zarnik-sync ui 1
ui platform 1
ROWS
exit $((failures > 0))
