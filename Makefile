# SPDX-License-Identifier: Zlib
# The two commands of the quick start, and the steps behind them.
#
#   make demo      build the launcher, sfxpack and the demo's inner program, then
#                  build a setup package and run it under Wine
#   make test      build everything (warnings are errors), then run the unit,
#                  sfxpack and end-to-end tests, the unit tests again under the
#                  sanitizers, the test of the installed .deb package, and each
#                  fuzz target for FUZZ_SMOKE_SECONDS (default 20)
#   make fuzz      run each fuzz target for FUZZ_SECONDS (default 60), from its
#                  seeds in tests/fuzz/corpus: make fuzz FUZZ_SECONDS=600
#   make install   install sfxpack (release build) under PREFIX (default
#                  /usr/local), into DESTDIR when set: make install DESTDIR=/tmp/root
#   make package   build the Debian package dist/sfxpack_VERSION_ARCH.deb
#
# Each target first runs tools/install-deps.sh, which installs what is missing
# and does nothing when all is there.

CMAKE ?= cmake
CTEST ?= ctest
# The project's own code builds with warnings as errors (WERROR=OFF: without);
# the xz sources that tools/install-deps.sh builds are not part of it.
WERROR ?= ON
CONFIGURE = -DCMAKE_COMPILE_WARNING_AS_ERROR=$(WERROR)
PREFIX ?= /usr/local
DESTDIR ?=
FUZZ_SECONDS ?= 60
FUZZ_SMOKE_SECONDS ?= 20
# Empty: every target of tests/fuzz.
FUZZ_TARGETS ?=

.PHONY: all deps build build-win64 build-host build-release build-asan test test-unit test-asan \
        test-install install package demo fuzz clean

all: build

deps:
	tools/install-deps.sh

# The Windows build comes first: the host builds embed and test its products.
build-win64: deps
	$(CMAKE) --preset win64 $(CONFIGURE) >/dev/null
	$(CMAKE) --build --preset win64

# Debug, with the tests; its sfxpack stays in build/host/dist.
build-host: deps build-win64
	$(CMAKE) --preset host $(CONFIGURE) >/dev/null
	$(CMAKE) --build --preset host

# The sfxpack users get: dist/sfxpack, the man page, the install rules.
build-release: deps build-win64
	$(CMAKE) --preset release $(CONFIGURE) >/dev/null
	$(CMAKE) --build --preset release

build: build-win64 build-host build-release

build-asan: deps build-win64
	$(CMAKE) --preset asan $(CONFIGURE) >/dev/null
	$(CMAKE) --build --preset asan

# The fuzz targets' short run catches one that no longer builds or crashes at
# once; finding faults takes make fuzz.
test: build build-asan
	$(CTEST) --preset host
	$(CTEST) --preset asan
	$(CTEST) --preset release
	WERROR=$(WERROR) tools/fuzz.sh $(FUZZ_SMOKE_SECONDS)

test-unit: build-host
	$(CTEST) --preset unit

test-asan: build-asan
	$(CTEST) --preset asan

test-install: build-release
	$(CTEST) --preset release

fuzz: deps
	WERROR=$(WERROR) tools/fuzz.sh $(FUZZ_SECONDS) $(FUZZ_TARGETS)

install: build-release
	DESTDIR="$(DESTDIR)" $(CMAKE) --install build/release --prefix "$(PREFIX)"

package: build-release
	cd build/release && cpack

# Only what the demo runs: from the Windows build the launcher image, the
# demo's inner program and the runner that reports the launcher's exit code;
# from the release build sfxpack. No tests, no sfxpack.exe, no man page.
demo: deps
	$(CMAKE) --preset win64 $(CONFIGURE) >/dev/null
	$(CMAKE) --build --preset win64 --target stub64 demo_inner run_child
	$(CMAKE) --preset release $(CONFIGURE) >/dev/null
	$(CMAKE) --build --preset release --target sfxpack
	tools/demo.sh

clean:
	rm -rf build dist
