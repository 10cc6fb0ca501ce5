# Every target does its own set-up: packages, configure, build.
#   make test    build and run every test through CTest
#   make demo    build and run the tool on the bundled example
#   make check   the whole test suite under AddressSanitizer + UBSan (clang)
#   make install PREFIX=/some/dir

PREFIX ?= $(HOME)/GeoAnchorSolve
BUILD := build/release
JOBS ?= 2
MAKEFLAGS += --no-print-directory

FUZZ_SECONDS ?= 60

.PHONY: all deps build test demo check fuzz bench install clean

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

install: build
	@cmake --install $(BUILD) --prefix "$(PREFIX)"

clean:
	rm -rf build
