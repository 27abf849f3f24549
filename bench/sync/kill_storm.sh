#!/usr/bin/env bash
# The named semaphores' kill storm at full length. In each round two to five
# processes open, wait for, hold, release and close one named semaphore while
# they are killed one by one at random moments (SIGKILL or SIGTERM); after the
# round a fresh process must get the semaphore within a second. Every other
# round the test process keeps the object open between rounds and checks that
# no count was made up. `make check` runs the same test with 25 rounds.
#
# usage: bench/sync/kill_storm.sh [BUILD_DIR] [ROUNDS]
#   defaults: build/default 1000
set -euo pipefail

root=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "${1:-$root/build/default}" && pwd)
rounds=${2:-1000}
test=$build/bin/platform_named_semaphore_test
[ -x "$test" ] || { echo "missing $test: build the default preset first" >&2; exit 1; }

start=$(date +%s.%N)
result=passed
WARDENLINE_KILL_STORM_ROUNDS=$rounds "$test" --gtest_filter=NamedSemaphores.KillStormNeverWedges \
  --gtest_brief=1 || result=FAILED
end=$(date +%s.%N)
printf 'kill storm: %d rounds in %.1f s: %s\n' "$rounds" "$(echo "$end - $start" | bc -l)" "$result"
[ "$result" = passed ]
