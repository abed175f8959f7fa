# Two commands do all set-up on a fresh Debian 12 machine:
#   make run    installs what is missing, builds the library and the CLI, runs it
#               on the bundled corpus
#   make test   installs what is missing, builds, runs every test
#   make windows       cross-builds mvfiles.dll, mvfiles.exe and the tests (MinGW-w64, lld)
#   make test-windows  runs those tests under Wine
BUILD ?= build
JOBS ?= 2
CMAKE_FLAGS ?=
WIN_BUILD ?= build-win
# Where setup.sh keeps yyjson's source package for the Windows build.
MVFILES_CACHE_DIR ?= /var/cache/mvfiles
export MVFILES_CACHE_DIR

FUZZ_SECONDS ?= 60

.PHONY: all setup setup-windows build run test test-asan test-tsan fuzz valgrind bench windows \
        test-windows clean install package consumer-check abi-check

all: build

setup:
	@bash scripts/setup.sh

$(BUILD)/CMakeCache.txt:
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_FLAGS)

build: setup $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS)

# Only the library and the program: the test suites are built by `make test`.
run: setup $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS) --target mvfiles mvfiles_cli
	$(BUILD)/tools/mvfiles files tt4154796

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

# The same suites under AddressSanitizer + UndefinedBehaviorSanitizer.
test-asan: setup
	cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DMVFILES_SANITIZE=address -DMVFILES_BUILD_BENCH=OFF
	cmake --build build-asan -j $(JOBS)
	cd build-asan && ASAN_OPTIONS=detect_leaks=1:halt_on_error=1:abort_on_error=1 \
	  UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 ctest --output-on-failure -j $(JOBS)

# The multi-threaded suites under ThreadSanitizer.
test-tsan: setup
	cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=Debug -DMVFILES_SANITIZE=thread -DMVFILES_BUILD_BENCH=OFF
	cmake --build build-tsan -j $(JOBS)
	cd build-tsan && TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 ctest --output-on-failure -j $(JOBS)

# Every libFuzzer target (clang, ASan + UBSan) for FUZZ_SECONDS seconds each;
# a crash, leak, hang or wrong answer fails (inputs in build-fuzz/findings).
fuzz: setup
	FUZZ_SECONDS=$(FUZZ_SECONDS) JOBS=$(JOBS) bash scripts/fuzz.sh

# valgrind memcheck over every CLI subcommand on the bundled corpus and the
# core, files, key-value, sessions and writes suites.
valgrind: build
	BUILD=$(BUILD) bash scripts/valgrind.sh

# The 64-bit Windows DLL, program and test suites, cross-built with MinGW-w64.
setup-windows:
	@bash scripts/setup.sh --windows

# The shipped DLL is compiled by MinGW's GCC and linked by lld, which writes
# its PDB; WIN_TOOLCHAIN=cmake/mingw-w64.cmake links with GNU ld, without one.
WIN_TOOLCHAIN ?= cmake/mingw-w64-pdb.cmake
$(WIN_BUILD)/CMakeCache.txt:
	cmake -S . -B $(WIN_BUILD) -DCMAKE_TOOLCHAIN_FILE=$(WIN_TOOLCHAIN) \
	  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMVFILES_BUILD_BENCH=OFF \
	  -DMVFILES_YYJSON_SOURCE_DIR=$(MVFILES_CACHE_DIR)/yyjson/yyjson-0.10.0 $(CMAKE_FLAGS)

windows: setup-windows $(WIN_BUILD)/CMakeCache.txt
	cmake --build $(WIN_BUILD) -j $(JOBS)

# The same suites under Wine, one CTest test per suite program.
test-windows: windows
	cd $(WIN_BUILD) && ctest --output-on-failure -j $(JOBS)

# `setup.sh --bench` adds the parsers that the benchmarks compare against;
# configuring again lets a build tree made before that find them.
bench:
	@bash scripts/setup.sh --bench
	cmake -S . -B $(BUILD) $(CMAKE_FLAGS)
	cmake --build $(BUILD) -j $(JOBS)
	@for b in $(BUILD)/bench/bench_*; do if [ -x "$$b" ]; then "$$b" || exit 1; echo; fi; done
	@if command -v dotnet >/dev/null; then \
	  DOTNET_CLI_TELEMETRY_OPTOUT=1 DOTNET_NOLOGO=1 LD_LIBRARY_PATH=$(BUILD) \
	    dotnet run -c Release --project bench/dotnet --artifacts-path $(BUILD)/bench/dotnet; \
	else echo "dotnet not found: the .NET benchmark is skipped"; fi
	MVFILES_LIBRARY=$(BUILD)/libmvfiles.so.1 PYTHONPATH=python:$(BUILD)/python PYTHONDONTWRITEBYTECODE=1 \
	  /usr/bin/python3 bench/bench_python.py

# Installs the library, headers, pkg-config and CMake files, the program,
# the corpus, the manual pages and the Python binding (PREFIX=DIR for
# another prefix than the configured one).
install: setup $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS) --target mvfiles mvfiles_cli
	cmake --install $(BUILD) $(if $(PREFIX),--prefix $(PREFIX))

# The Debian package, from its own build tree for /usr with yyjson linked
# in (and build-pkg/shipped/libmvfiles.so, stripped), the Windows zip (DLL
# and its PDB, import libraries, .def, headers, program, corpus, licence)
# from build-win/, and the NuGet package of the .NET binding (when dotnet
# is present).
PKG_BUILD ?= build-pkg
package: setup windows
	cmake -S . -B $(PKG_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_INSTALL_PREFIX=/usr \
	  -DMVFILES_BUILD_TESTS=OFF -DMVFILES_BUILD_BENCH=OFF \
	  -DMVFILES_YYJSON_SOURCE_DIR=$(MVFILES_CACHE_DIR)/yyjson/yyjson-0.10.0 $(CMAKE_FLAGS)
	cmake --build $(PKG_BUILD) -j $(JOBS)
	cd $(PKG_BUILD) && cpack
	cd $(WIN_BUILD) && cpack
	bash scripts/dotnet-pack.sh $(PKG_BUILD) $(WIN_BUILD)
	bash scripts/python-wheels.sh $(PKG_BUILD) $(WIN_BUILD)

# Uses the installed library as a consumer would (pkg-config, CMake,
# Python) and checks the package's contents.
consumer-check: package
	bash scripts/consumer-check.sh $(PKG_BUILD) $(WIN_BUILD)

# The built library's ABI (exports and the records they reach) against the
# 1.0.0 baseline in abi/: an incompatible change fails, additions pass.
abi-check: setup $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS) --target mvfiles
	bash scripts/abi-check.sh $(BUILD)/libmvfiles.so.1

clean:
	rm -rf $(BUILD) build-asan build-tsan build-fuzz $(WIN_BUILD) $(PKG_BUILD)
