# Gelvar Monitor. `make run` starts the simulated unit and the monitor; `make test` runs every test.
BUILD       ?= build
ASAN_BUILD  ?= build-asan
RELEASE_BUILD ?= build-release
CLANG_BUILD ?= build-clang
ARM64_BUILD ?= build-arm64
WINDOWS_BUILD ?= build-windows
CMAKE_FLAGS ?=

.PHONY: all deps configure build test test-asan test-release test-clang windows tidy fuzz soak mutants run bench perf install package package-check package-arm64 test-arm64 arm64-build format clean

all: build

deps:
	@scripts/install-deps

configure: deps
	@cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_FLAGS) > /dev/null

build: configure
	@cmake --build $(BUILD)

test: build
	ctest --test-dir $(BUILD) --output-on-failure --timeout 600
	@$(MAKE) --no-print-directory test-asan
	@$(MAKE) --no-print-directory fuzz
	@$(MAKE) --no-print-directory tidy

# The window-free core once more under AddressSanitizer and UndefinedBehaviorSanitizer.
test-asan: deps
	@cmake -S . -B $(ASAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DGELVAR_SANITIZE=ON -DGELVAR_WITH_QT=OFF > /dev/null
	@cmake --build $(ASAN_BUILD)
	ctest --test-dir $(ASAN_BUILD) --output-on-failure --timeout 600

# Everything once more as it ships, optimised: some warnings come only from the optimiser's analysis.
test-release: deps
	@cmake -S . -B $(RELEASE_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release $(CMAKE_FLAGS) > /dev/null
	@cmake --build $(RELEASE_BUILD)
	ctest --test-dir $(RELEASE_BUILD) --output-on-failure --timeout 600

# The window-free core with clang 16 and libc++, GoogleTest built alongside for that library: the core
# asks nothing of the standard library that only libstdc++ has.
test-clang: deps
	@scripts/install-deps clang
	@cmake -S . -B $(CLANG_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DGELVAR_WITH_QT=OFF -DGELVAR_WITH_BENCH=OFF \
	  -DGELVAR_GTEST_FROM_SOURCE=ON -DCMAKE_C_COMPILER=clang-16 -DCMAKE_CXX_COMPILER=clang++-16 -DCMAKE_CXX_FLAGS=-stdlib=libc++ \
	  -DCMAKE_EXE_LINKER_FLAGS=-stdlib=libc++ $(CMAKE_FLAGS) > /dev/null
	@cmake --build $(CLANG_BUILD)
	ctest --test-dir $(CLANG_BUILD) --output-on-failure --timeout 600

# The window-free core, its tests and gelvar-cli.exe cross-built for Windows with mingw-w64 (static, one
# file to copy), the tests run under wine in a wine prefix of the build folder's own. Not part of
# `make test`: wine is large. The Linux build comes first: the wine test runs gelvar-cli.exe against its
# gelvar-unit-sim and compares with its gelvar-cli. The first run builds libmosquitto from Debian's source.
windows: build
	@scripts/install-deps windows
	@scripts/mosquitto-windows $(WINDOWS_BUILD)/mosquitto
	@cmake -S . -B $(WINDOWS_BUILD) -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DGELVAR_WITH_QT=OFF -DGELVAR_WITH_BENCH=OFF -DGELVAR_GTEST_FROM_SOURCE=ON $(CMAKE_FLAGS) > /dev/null
	@cmake --build $(WINDOWS_BUILD)
	ctest --test-dir $(WINDOWS_BUILD) --output-on-failure --timeout 600

# No writable global in the window-free core: clang-tidy over its files with the main build's compile
# commands, two at a time.
TIDY_CHECKS := -*,cppcoreguidelines-avoid-non-const-global-variables
tidy: build
	@find src/core -name '*.cpp' | sort | xargs -P 2 -n 4 clang-tidy -p $(BUILD) --quiet -checks='$(TIDY_CHECKS)' \
	  --warnings-as-errors='*'

# The fuzz target (clang, libFuzzer, ASan, UBSan) in build-fuzz/, 30 s.
fuzz: deps
	@scripts/fuzz 30

# Long runs: a week of virtual logging against a unit with 5 % bad replies, ten minutes of
# fuzzing, and half an hour of real logging over a pseudo-terminal with CPU and memory sampled.
soak: build
	GELVAR_SOAK_HOURS=168 $(BUILD)/tests/gelvar_core_tests --gtest_filter='Soak.*'
	@scripts/fuzz 600
	@scripts/soak-realtime 1800

# What the core tests catch: small faults put into the window-free core one at a time, in a scratch
# copy (about half an hour; not part of `make test`). MUTANTS_FLAGS="--only link --jobs 2" narrows or widens it.
mutants: deps
	@scripts/mutants run $(MUTANTS_FLAGS)

run: build
	@scripts/run

# CPU cost of the hot paths (Google Benchmark).
bench: build
	$(BUILD)/bench/gelvar_bench

# Wall times over a pseudo-terminal, the tick period, CPU, memory and start-up (docs/performance.md).
perf: build
	@scripts/perf-report

install: build
	cmake --install $(BUILD)

# A Debian package of the programs, the help, the desktop entry and the icons: $(BUILD)/gelvar-monitor_*.deb
package: build
	cd $(BUILD) && cpack

# The package as Debian would check it: lintian, and systemd's verdict on the service unit.
package-check: package
	@scripts/install-deps package
	@scripts/check-package $(BUILD)

# The same package for an arm64 box, cross-built: $(ARM64_BUILD)/gelvar-monitor_*_arm64.deb. The first
# run adds arm64 to dpkg's architectures and installs the cross compiler, the arm64 libraries and qemu.
package-arm64: arm64-build
	cd $(ARM64_BUILD) && cpack
	@scripts/check-package $(ARM64_BUILD)

# The arm64 build under qemu: the core tests, and gelvar-cli against gelvar-unit-sim and a local broker.
test-arm64: arm64-build
	@scripts/test-arm64

arm64-build:
	@scripts/install-deps arm64 package
	@cmake -S . -B $(ARM64_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-aarch64-linux-gnu.cmake $(CMAKE_FLAGS) > /dev/null
	nice -n 15 cmake --build $(ARM64_BUILD) -j2

# Puts every C++ file of ours into the house style (.clang-format).
format:
	@find src tests unitsim bench -name '*.cpp' -o -name '*.h' | xargs clang-format -i

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(RELEASE_BUILD) $(CLANG_BUILD) $(ARM64_BUILD) build-fuzz
