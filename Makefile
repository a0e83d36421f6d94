# The two entry points: `make test` and `make demo`. Both install what is missing first.
SHELL := /bin/bash
JOBS ?= 2
# WERROR=ON makes every compiler warning an error (CI builds so).
WERROR ?= OFF
CONFIGURE := -DCMAKE_COMPILE_WARNING_AS_ERROR=$(WERROR)

.PHONY: all setup native native-asan win32 win64 release test demo bench clean

all: native win32 win64

setup:
	@scripts/setup

native: setup
	@cmake --preset native $(CONFIGURE) >/dev/null
	@cmake --build --preset native -j $(JOBS)

# The native tests again under AddressSanitizer and UndefinedBehaviorSanitizer.
native-asan: setup
	@cmake --preset native-asan $(CONFIGURE) >/dev/null
	@cmake --build --preset native-asan -j $(JOBS)

win32: setup
	@cmake --preset win32 $(CONFIGURE) >/dev/null
	@cmake --build --preset win32 -j $(JOBS)

win64: setup
	@cmake --preset win64 $(CONFIGURE) >/dev/null
	@cmake --build --preset win64 -j $(JOBS)

# What a release ships, built as an operator builds it (its own key, a floor), in build/release.
release: setup
	@JOBS=$(JOBS) scripts/release-build $(CONFIGURE)

test: native native-asan win32 win64 release
	@scripts/run-tests

demo: native win32 win64
	@scripts/demo

bench: native
	@cmake --build --preset native --target bench -j $(JOBS)

clean:
	@scripts/wine-env --stop >/dev/null 2>&1 || true
	rm -rf build
