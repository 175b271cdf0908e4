# The two commands of the quick start, and the steps behind them.
#
#   make demo   build everything, then build a setup package and run it under Wine
#   make test   build everything, then run the unit, sfxpack and end-to-end
#               tests, and the unit tests again under the sanitizers
#
# Each target first runs tools/install-deps.sh, which installs what is missing
# and does nothing when all is there.

CMAKE ?= cmake
CTEST ?= ctest

.PHONY: all deps build build-win64 build-host build-asan test test-unit test-asan demo clean

all: build

deps:
	tools/install-deps.sh

# The Windows build comes first: the host build embeds and tests its products.
build-win64: deps
	$(CMAKE) --preset win64 >/dev/null
	$(CMAKE) --build --preset win64

build-host: deps build-win64
	$(CMAKE) --preset host >/dev/null
	$(CMAKE) --build --preset host

build: build-win64 build-host

build-asan: deps build-win64
	$(CMAKE) --preset asan >/dev/null
	$(CMAKE) --build --preset asan

test: build build-asan
	$(CTEST) --preset host
	$(CTEST) --preset asan

test-unit: build-host
	$(CTEST) --preset unit

test-asan: build-asan
	$(CTEST) --preset asan

demo: build
	tools/demo.sh

clean:
	rm -rf build dist
