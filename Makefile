# Thin front end over CMake. `make demo` and `make test` work from a fresh
# Debian 12 machine: they install what is missing first.
BUILD_DIR ?= build
BUILD_TYPE ?= RelWithDebInfo
JOBS ?= $(shell nproc)
# `make test` runs the suites a second time in a tree built with
# AddressSanitizer and UndefinedBehaviorSanitizer (leaks reported).
ASAN_BUILD_DIR ?= build-asan
# Debug: the sanitizer tree compiles about four times faster without optimizing.
ASAN_BUILD_TYPE ?= Debug
# `make fuzz` runs each libFuzzer target this many seconds.
FUZZ_BUILD_DIR ?= build-fuzz
FUZZ_SECONDS ?= 60
# Rebuilds reuse compiled objects when ccache is present.
LAUNCHER := $(if $(shell command -v ccache),-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)

.PHONY: all deps configure build check test test-asan package test-package fuzz demo clean format

all: build

deps:
	scripts/install-deps

# One tree for the programs, the tests and the Debian package: Debian's
# compiler flags and the prefix /usr (scripts/configure).
configure: deps
	scripts/configure $(BUILD_DIR) -DCMAKE_BUILD_TYPE=$(BUILD_TYPE)

build: configure
	cmake --build $(BUILD_DIR) -j $(JOBS)

# The quick loop: every test that needs no private desktop.
check: build
	JOBS=$(JOBS) scripts/run-tests $(BUILD_DIR) -LE desktop

# Everything, in both trees (the package comes from the first); what CI runs.
test: build
	JOBS=$(JOBS) scripts/run-tests $(BUILD_DIR)
	$(MAKE) --no-print-directory test-package
	$(MAKE) --no-print-directory test-asan

test-asan: deps
	cmake -S . -B $(ASAN_BUILD_DIR) -G Ninja -DCMAKE_BUILD_TYPE=$(ASAN_BUILD_TYPE) -DTROVEMARK_SANITIZE=ON $(LAUNCHER)
	cmake --build $(ASAN_BUILD_DIR) -j $(JOBS)
	JOBS=$(JOBS) scripts/run-tests $(ASAN_BUILD_DIR)

package: build
	JOBS=$(JOBS) scripts/build-package $(BUILD_DIR)

# lintian, then the unpacked package on a private desktop (with the stand-in
# Resolve of the test tree).
test-package: package
	tests/package/check_package.py $(BUILD_DIR) trovemark_*.deb

fuzz: deps
	JOBS=$(JOBS) fuzz/run $(FUZZ_BUILD_DIR) $(FUZZ_SECONDS)

demo: configure
	cmake --build $(BUILD_DIR) -j $(JOBS) --target TrovemarkColorAX resolve-standin trovemark-inspect
	scripts/demo $(BUILD_DIR)

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf $(BUILD_DIR) $(ASAN_BUILD_DIR) $(FUZZ_BUILD_DIR) trovemark_*.deb
