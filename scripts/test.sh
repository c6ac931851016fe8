#!/usr/bin/env bash
# Builds and runs every test: a normal build, a Qt 6 build, a build with AddressSanitizer and
# UndefinedBehaviorSanitizer, a ThreadSanitizer build of the threaded tests, a bounded run of the
# reply-parser fuzzer and the ALSA tests in a small virtual machine. Stops at the first failure.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
bash scripts/install-deps.sh

bash scripts/clear-stale-jack.sh

jobs=$(nproc)
export QT_QPA_PLATFORM=offscreen
export XDG_RUNTIME_DIR=${XDG_RUNTIME_DIR:-$(mktemp -d)}

# The builds share a compiler cache: the maker's build and the ALSA section's copy of the tree reuse
# the normal build's objects, and a run after another on the same machine rebuilds only what changed.
# Paths are hashed relative to the tree, and the build directory not at all, so that objects of one
# build directory serve another.
export CCACHE_BASEDIR=$root CCACHE_NOHASHDIR=1
configure() { # dir, cmake options...
    local dir=$1; shift
    cmake -S "$root" -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache "$@" >/dev/null
}

section() { printf '\n== %s (at %d min %02d s)\n' "$*" $((SECONDS / 60)) $((SECONDS % 60)); }

section "normal build"
configure build/release
cmake --build build/release -j"$jobs"
ctest --test-dir build/release --output-on-failure -j"$jobs"
# What the noisy-pass simulation ran: its count, its seeds and the stops it met.
awk '/passes, seeds/ { on = 1 } on && !/passes, seeds|^ / { on = 0 } on' build/release/Testing/Temporary/LastTest.log

section "formatting and clang-tidy"
bash scripts/lint.sh build/release

section "Debian package"
bash scripts/package-check.sh build/release

section "a maker's build: another image and reset code (engine and end-to-end suites)"
# An image of another length, odd and ending inside a page, cut from the middle of the placeholder, and
# a reset code other than the default; only the suites whose expectations depend on them are built.
mkdir -p build/other-image
head -c 1700001 build/release/resources/placeholder/resourcesNAND.bin | tail -c 700001 >build/other-image/image.bin
configure build/other-image -DTAVRIN_IMAGE="$root/build/other-image/image.bin" -DTAVRIN_RESET_CODE=1A2B3C4D
cmake --build build/other-image -j"$jobs" --target protocol_tests sim_tests window_tests engine_tests e2e_tests
# The server kills, the unit variants and the fault table (whose rows bring images of their own) do not
# depend on the image.
ctest --test-dir build/other-image --output-on-failure -j"$jobs" \
    -E '_NOT_BUILT$|^JackServerKillTest\.|^Units/UnitVariantTest\.|^Phases/FaultTableTest\.'

section "Qt 6 build (unit and window tests, one complete update over JACK through the window)"
qt6_start=$SECONDS
configure build/qt6 -DTAVRIN_QT_MAJOR=6
cmake --build build/qt6 -j"$jobs" --target tavrin-update midi_tests protocol_tests sim_tests window_tests \
    desktop_tests engine_tests sim_program_tests e2e_tests
ctest --test-dir build/qt6 --output-on-failure -j"$jobs" -L unit
ctest --test-dir build/qt6 --output-on-failure -R '^E2ETest\.CompleteUpdateOverJackLeavesTheImageInPlace$'
echo "Qt 6 section: $((SECONDS - qt6_start)) s"

section "PipeWire's JACK server (one verified batch update of a six-page image), the README's examples"
# A headless PipeWire daemon of its own. On a loaded machine PipeWire may keep its 1,024-frame cycle,
# about 45 round trips a second: an image of six pages (the last one cut short) keeps the pass within
# a minute there, and it takes every step of a pass all the same.
pipewire_start=$SECONDS
mkdir -p build/pipewire-image
head -c 10340 build/release/resources/placeholder/resourcesNAND.bin >build/pipewire-image/image.bin
configure build/pipewire-image -DTAVRIN_IMAGE="$root/build/pipewire-image/image.bin"
cmake --build build/pipewire-image -j"$jobs" --target tavrin-update tavrin-sim
bash scripts/pipewire-test.sh build/pipewire-image
# The README's command-line examples, as written, against simulated units; the small image keeps each
# update within seconds.
bash tests/docs/readme-examples.sh README.md build/pipewire-image
echo "PipeWire section: $((SECONDS - pipewire_start)) s"

section "AddressSanitizer + UndefinedBehaviorSanitizer (all but the end-to-end fault runs, whose paths the engine suite covers in-process)"
configure build/asan -DCMAKE_BUILD_TYPE=Debug -DTAVRIN_SANITIZE=address,undefined
cmake --build build/asan -j"$jobs"
asan_ctest() {
    ASAN_OPTIONS=detect_leaks=1:abort_on_error=0:strict_string_checks=1 \
    UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    LSAN_OPTIONS=suppressions=$root/tests/lsan.supp:print_suppressions=0 \
        ctest --test-dir build/asan --output-on-failure -j"$jobs" "$@"
}
# The fault table's rows for a unit answering 01 and for a constant byte 10 take the same code as its
# other rows with other values; the normal and the maker's builds run them (about 2 minutes saved here).
variant_rows='(UnitAnswering01|ConstantByteTen)$'
# The noisy-pass simulation runs 50 seeded passes here and in the ThreadSanitizer section, not the
# normal build's 1,000 (about 2 minutes there).
export TAVRIN_SIM_PASSES=50
asan_ctest -LE e2e -E "$variant_rows"
# The batch command line's failures run too; two units at once do not, since the two instrumented
# simulated units write their 128 MiB dumps before they confirm the finish, too late on 2 cores.
asan_ctest -R '^(E2ETest\.CompleteUpdateOverJackLeavesTheImageInPlace|Cases/BatchFailureTest\..*)$'

section "ThreadSanitizer (threaded tests; the complete updates over JACK run in the two builds above)"
configure build/tsan -DCMAKE_BUILD_TYPE=Debug -DTAVRIN_SANITIZE=thread
cmake --build build/tsan -j"$jobs"
TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1:suppressions=$root/tests/tsan.supp \
    ctest --test-dir build/tsan --output-on-failure -j"$jobs" -L threads -LE e2e -E "$variant_rows"

section "reply parser fuzzing"
CC=clang CXX=clang++ configure build/fuzz -DTAVRIN_BUILD_FUZZERS=ON
cmake --build build/fuzz -j"$jobs" --target parse_reply_fuzz
fuzz_log=build/fuzz/parse_reply_fuzz.log
if ! build/fuzz/tests/parse_reply_fuzz -runs=2000000 -max_len=1100 -print_final_stats=1 >"$fuzz_log" 2>&1; then
    cat "$fuzz_log"
    exit 1
fi
grep -E '^(Done|stat::number_of_executed_units|stat::average_exec_per_sec)' "$fuzz_log"

section "ALSA sequencer (the alsa tests in a virtual machine, one boot, from a copy in a temporary folder)"
# The copy lies beneath /tmp, where a fresh clone may lie too, and the guest gets a /tmp of its own; it
# holds the files git knows of (changes not committed included) and builds only the three targets the
# tests need, from the compiler cache but for one file (about a minute). The guest's kernel stays in
# this tree's cache.
alsa_start=$SECONDS
copy=$(mktemp -d)
trap 'rm -rf "$copy"' EXIT
git ls-files -z --cached --others --exclude-standard | while IFS= read -r -d '' file; do
    if [ -e "$file" ]; then printf '%s\0' "$file"; fi
done | tar --null -T - -cf - | tar -xf - -C "$copy"
(
    kernel_cache=$root/build/alsa-vm
    root=$copy
    cd "$copy"
    export CCACHE_BASEDIR=$copy
    configure build/release
    cmake --build build/release -j"$jobs" --target alsa_tests jack_midi_tests tavrin-sim
    ALSA_VM_CACHE=$kernel_cache bash scripts/alsa-vm.sh \
        ctest --test-dir build/release --output-on-failure -R '^(AlsaTest|WindowOverAlsa)\.'
)
echo "ALSA section: $((SECONDS - alsa_start)) s"
