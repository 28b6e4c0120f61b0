#!/usr/bin/env bash
# Runs every libFuzzer target of a fuzz build for FUZZ_SECONDS each and prints one summary
# line per target. Usage: scripts/fuzz.sh <fuzz build dir> <seed root> [target name filter, a grep -E pattern]
#   FUZZ_SECONDS  seconds per target (default 30)
#   FUZZ_JOBS     targets run at once (default 1)
#   FUZZ_MALLOC_LIMIT_MB  the largest single allocation an input may cause (default 512)
#   FUZZ_LARGE_MAX_LEN    longest input for the readers of large files (default 1 MiB)
# The readers of archives, models, images and panoramas take inputs up to
# FUZZ_LARGE_MAX_LEN, so that a header asking for far more than its file holds is seen;
# the others keep libFuzzer's own length limit.
# Each target keeps its growing corpus in <build>/corpus/<target>; it starts from the seeds
# the tests write to <seed root>/<name without fuzz_>. Crashes, leaks, timeouts and
# out-of-memory stops are kept as <build>/findings/<target>/<kind>-<hash> and make the
# script exit non-zero.
set -uo pipefail

build=${1:?fuzz build directory}
seedRoot=${2:?seed root (test-output/fuzz-seeds of a test build)}
filter=${3:-}
seconds=${FUZZ_SECONDS:-30}
jobs=${FUZZ_JOBS:-1}
mallocLimit=${FUZZ_MALLOC_LIMIT_MB:-512}
largeMaxLen=${FUZZ_LARGE_MAX_LEN:-1048576}
largeInputs='^fuzz_(assetio_mwpak|lzfse_decode|assetio_mwmesh|lookdev_studio_mesh|model_import|modelimport_.*|image_decode|panorama_decode|lookdev_radiance)$'

mapfile -t targets < <(find "$build" -name 'fuzz_*' -type f -perm -u+x | grep -E -- "$filter" | sort)
if [ ${#targets[@]} -eq 0 ]; then
  echo "no fuzz targets in $build" >&2
  exit 2
fi
mkdir -p "$build/fuzz-logs"

runOne() {
  local exe=$1 name seeds corpus findings log
  name=$(basename "$exe")
  corpus="$build/corpus/$name"
  findings="$build/findings/$name"
  log="$build/fuzz-logs/$name.log"
  mkdir -p "$corpus" "$findings"
  seeds="$seedRoot/${name#fuzz_}"
  [ -d "$seeds" ] || seeds=
  # -timeout: one input that runs this long is a hang; -rss_limit_mb: one that needs this
  # much is unbounded memory; -malloc_limit_mb: one allocation this large is a size taken
  # from a header on trust. Each stops the run and keeps the input.
  local extra=()
  if [[ $name =~ $largeInputs ]]; then extra+=(-max_len="$largeMaxLen"); fi
  "$exe" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -malloc_limit_mb="$mallocLimit" "${extra[@]}" \
    -print_final_stats=1 -artifact_prefix="$findings/" "$corpus" $seeds >"$log" 2>&1
  local rc=$?
  local execs rate cov ft units found
  execs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' | tail -1)
  rate=$(grep -o 'stat::average_exec_per_sec: *[0-9]*' "$log" | grep -o '[0-9]*$' | tail -1)
  cov=$(grep -o 'cov: [0-9]*' "$log" | tail -1 | grep -o '[0-9]*')
  ft=$(grep -o 'ft: [0-9]*' "$log" | tail -1 | grep -o '[0-9]*')
  units=$(find "$corpus" -type f | wc -l)
  found=$(find "$findings" -type f | wc -l)
  printf '%-34s %9s inputs %7s/s  cov %6s  ft %7s  corpus %6s  findings %s%s\n' "$name" "${execs:-0}" "${rate:-0}" \
    "${cov:-?}" "${ft:-?}" "$units" "$found" "$([ -z "$seeds" ] && echo '  (no seeds)')"
  if [ $rc -ne 0 ] || [ "$found" -ne 0 ]; then
    echo "  $name stopped (exit $rc); log: $log; inputs kept in $findings" >&2
    return 1
  fi
  return 0
}

status=0
running=0
pids=()
for exe in "${targets[@]}"; do
  runOne "$exe" &
  pids+=($!)
  running=$((running + 1))
  if [ $running -ge "$jobs" ]; then
    wait -n || status=1
    running=$((running - 1))
  fi
done
while [ $running -gt 0 ]; do
  wait -n || status=1
  running=$((running - 1))
done
exit $status
