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
    cmake -S "$root" -B "$build" -DCMAKE_C_COMPILER=clang-14 -DCMAKE_CXX_COMPILER=clang++-14 -DGIFPLAY_FUZZ=ON \
      -DGIFPLAY_BUILD_TESTS=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  fi
  cmake --build "$build" -j"${GIFPLAY_FUZZ_JOBS:-2}" --target "fuzz_$1" >/dev/null
}

# Leaks and undefined behaviour end a run like a crash does. The fuzz build's
# GlobalAlloc refuses blocks above 256 KiB (platform/CMakeLists.txt), as a
# 32-bit process may well see it refuse large ones: a random logical screen
# would otherwise ask for a canvas of up to 2 GiB on nearly every input,
# which only slows the search. Any other allocation above 64 MiB returns
# nothing rather than ending the run; operator new still treats a refusal
# as a fault.
export ASAN_OPTIONS="detect_leaks=1:allocator_may_return_null=1:max_allocation_size_mb=64:${ASAN_OPTIONS:-}"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1:${UBSAN_OPTIONS:-}"

fuzz_options=(-dict="$root/fuzz/gif.dict" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1)

# Regression inputs of a target, kept with the tests.
regressions_of() { echo "$root/tests/regressions/$1"; }
