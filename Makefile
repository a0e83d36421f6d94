# The two entry points: `make test` and `make demo`. Both install what is missing first.
SHELL := /bin/bash
JOBS ?= 2

.PHONY: all setup native native-asan win32 win64 test demo bench clean

all: native win32 win64

setup:
	@scripts/setup

native: setup
	@cmake --preset native >/dev/null
	@cmake --build --preset native -j $(JOBS)

# The native tests again under AddressSanitizer and UndefinedBehaviorSanitizer.
native-asan: setup
	@cmake --preset native-asan >/dev/null
	@cmake --build --preset native-asan -j $(JOBS)

win32: setup
	@cmake --preset win32 >/dev/null
	@cmake --build --preset win32 -j $(JOBS)

win64: setup
	@cmake --preset win64 >/dev/null
	@cmake --build --preset win64 -j $(JOBS)

test: native native-asan win32 win64
	@scripts/run-tests

demo: native win32 win64
	@scripts/demo

bench: native
	@cmake --build --preset native --target bench -j $(JOBS)

clean:
	@scripts/wine-env --stop >/dev/null 2>&1 || true
	rm -rf build
