#!/usr/bin/env bash
# Runs the fuzz targets of the `fuzz` build, each for a bounded time.
#
#   fuzz/run.sh [SECONDS] [TARGET...]
#
# SECONDS per target (default 60; 0 = no limit, stop with -runs= or Ctrl-C),
# TARGET one of fuzz_reader, fuzz_cutter, fuzz_info (default: all three).
# Further libFuzzer flags come from FUZZ_FLAGS, e.g. FUZZ_FLAGS=-runs=50000000.
#
# Each target keeps a growing corpus in build/fuzz/corpus/TARGET and starts
# from the seeds that d88_fuzz_seeds writes; crashes, leaks and inputs slower
# than one second land in build/fuzz/artifacts/TARGET. Inputs are at most
# 64 KB: large enough for a whole Disk A of the catalogue's sectors, small
# enough to keep thousands of runs a second.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${FUZZ_BUILD_DIR:-$root/build/fuzz}
seconds=${1:-60}
shift || true
targets=("$@")
((${#targets[@]})) || targets=(fuzz_reader fuzz_cutter fuzz_info)

# The targets write every input to a file; on tmpfs that costs a third of
# what it does on disk.
if [[ -z ${TMPDIR:-} && -d /dev/shm && -w /dev/shm ]]; then
  export TMPDIR=/dev/shm
fi
# A target removes its directory when it exits, but not when it crashes:
# give the whole run one directory and remove that in any case.
TMPDIR=$(mktemp -d "${TMPDIR:-/tmp}/d88fuzz-run.XXXXXX")
export TMPDIR
trap 'rm -rf "$TMPDIR"' EXIT

seeds=$build/seeds
"$build/fuzz/d88_fuzz_seeds" "$seeds"

failed=()
for target in "${targets[@]}"; do
  corpus=$build/corpus/$target
  artifacts=$build/artifacts/$target
  mkdir -p "$corpus" "$artifacts"
  echo "== $target for ${seconds}s"
  # shellcheck disable=SC2086 # FUZZ_FLAGS is a list of flags
  if ! "$build/fuzz/$target" -max_total_time="$seconds" -max_len=65536 -timeout=1 \
    -rss_limit_mb=2048 -dict="$root/fuzz/d88.dict" -print_final_stats=1 \
    -artifact_prefix="$artifacts/" ${FUZZ_FLAGS:-} "$corpus" "$seeds"; then
    failed+=("$target")
  fi
done

if ((${#failed[@]})); then
  echo "fuzzing found faults in: ${failed[*]} (inputs in $build/artifacts)" >&2
  exit 1
fi
