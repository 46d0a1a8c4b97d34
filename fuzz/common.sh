# Shared by run.sh and hunt.sh (sourced): the fuzz build, and the options
# every fuzz run uses.

targets="gif_loader payload_scanner gifpack_info midi_file"
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${GIFPLAY_FUZZ_BUILD:-$root/build-fuzz}

check_target() {
  case " $targets " in
    *" $1 "*) ;;
    *) echo "unknown fuzz target '$1' (one of: $targets)" >&2; exit 1 ;;
  esac
}

# Configures the clang build with the fuzzer and sanitizers, once, and builds
# the one target asked for.
build_target() {
  if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S "$root" -B "$build" -DCMAKE_CXX_COMPILER=clang++-14 -DGIFPLAY_FUZZ=ON \
      -DGIFPLAY_BUILD_TESTS=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  fi
  cmake --build "$build" -j"${GIFPLAY_FUZZ_JOBS:-2}" --target "fuzz_$1" >/dev/null
}

# Leaks and undefined behaviour end a run like a crash does. Blocks above
# 64 MiB are refused (GlobalAlloc then returns nothing, as a 32-bit process
# may well see it do): a random logical screen would otherwise ask for a
# canvas of up to 2 GiB on nearly every input, which only slows the search;
# operator new still treats a refusal as a fault.
export ASAN_OPTIONS="detect_leaks=1:allocator_may_return_null=1:max_allocation_size_mb=64:${ASAN_OPTIONS:-}"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1:${UBSAN_OPTIONS:-}"
# gifpack writes the GIF to a temporary file for the player's loader.
if [ -w /dev/shm ]; then export TMPDIR=/dev/shm; fi

fuzz_options=(-dict="$root/fuzz/gif.dict" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1)

# Regression inputs of a target, kept with the tests.
regressions_of() { echo "$root/tests/regressions/$1"; }
