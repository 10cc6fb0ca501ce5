# Every target does its own set-up: packages, configure, build.
#   make test    build and run every test through CTest
#   make demo    build and run the tool on the bundled example
#   make check   the whole test suite under AddressSanitizer + UBSan (clang)
#                and one run under valgrind memcheck
#   make fuzz    each libFuzzer target for FUZZ_SECONDS (default 60)
#   make bench   stage benchmarks and whole-process timings
#   make windows       GeoAnchorSolve.exe (mingw-w64, static) and
#                      dist/GeoAnchorSolve-<version>-win64.zip
#   make test-windows  the end-to-end tests against the .exe under Wine
#   make test-locales  the locales those tests run Wine in (en_US.UTF-8 and
#                      zh_CN.UTF-8, in build/windows-tests/locales)
#   make install PREFIX=/some/dir

PREFIX ?= $(HOME)/GeoAnchorSolve
BUILD := build/release
JOBS ?= 2
MAKEFLAGS += --no-print-directory

FUZZ_SECONDS ?= 60

.PHONY: all deps build test demo check fuzz bench windows test-windows \
        test-locales install clean

all: build

deps:
	@scripts/install-deps

build: deps
	@cmake --preset release >/dev/null
	@cmake --build $(BUILD) -j$(JOBS)

test: build
	@ctest --test-dir $(BUILD) --output-on-failure -j$(JOBS)

demo: build
	@examples/run-demo $(BUILD)/bin/GeoAnchorSolve

# The whole test suite, unit and end-to-end, built with clang under
# AddressSanitizer and UndefinedBehaviorSanitizer (any report fails), then
# one run of the release executable under valgrind memcheck.
check: build
	@scripts/install-deps check
	@cmake --preset asan >/dev/null
	@cmake --build build/asan -j$(JOBS)
	@ASAN_OPTIONS=detect_leaks=1:abort_on_error=0 \
	  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	  ctest --test-dir build/asan --output-on-failure -j$(JOBS)
	@scripts/memcheck $(BUILD)/bin/GeoAnchorSolve

# Each libFuzzer target for FUZZ_SECONDS on top of its corpus.
fuzz: deps
	@scripts/install-deps check
	@cmake --preset fuzz >/dev/null
	@cmake --build build/fuzz -j$(JOBS)
	@scripts/run-fuzzers build/fuzz/bin $(FUZZ_SECONDS)

# Stage benchmarks (Google Benchmark) and whole-process timings (hyperfine).
bench: build
	@scripts/install-deps bench
	@cmake --preset bench >/dev/null
	@cmake --build build/bench -j$(JOBS)
	@build/bench/bin/stages_benchmark
	@bench/process-benchmark $(BUILD)/bin/GeoAnchorSolve

# The Windows executable: gflags and Ceres cross-built once from Debian's
# source packages (cached in ~/.cache/geoanchor-windows-deps/), then the
# tool and the zip.
windows: deps
	@scripts/install-deps windows
	@scripts/build-windows-deps build/windows-deps
	@cmake --preset windows >/dev/null
	@cmake --build build/windows -j$(JOBS) --target GeoAnchorSolve windows_zip

# The locales that make Wine an English (code page 1252) and a Chinese
# (code page 936) Windows for the tests, generated from Debian's locales
# package; the system's own locales stay as they are.
test-locales:
	@scripts/install-deps locales
	@tests/app/make-test-locales build/windows-tests/locales

# The end-to-end suites against the .exe under Wine, and the differential
# comparison with the Linux executable.
test-windows: windows test-locales
	@cmake --preset windows-tests >/dev/null
	@cmake --build build/windows-tests -j$(JOBS) --target app_wine_test windows_launch
	@ctest --test-dir build/windows-tests --output-on-failure -j$(JOBS) -L wine

install: build
	@cmake --install $(BUILD) --prefix "$(PREFIX)"

clean:
	rm -rf build
