# Two commands do all set-up on a fresh Debian 12 machine:
#   make run    installs what is missing, builds, runs the CLI on the bundled corpus
#   make test   installs what is missing, builds, runs every test
BUILD ?= build
JOBS ?= 2
CMAKE_FLAGS ?=

.PHONY: all setup build run test test-asan test-tsan bench clean

all: build

setup:
	@bash scripts/setup.sh

$(BUILD)/CMakeCache.txt:
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_FLAGS)

build: setup $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS)

run: build
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

# `setup.sh --bench` adds the parsers that the benchmarks compare against;
# configuring again lets a build tree made before that find them.
bench:
	@bash scripts/setup.sh --bench
	cmake -S . -B $(BUILD) $(CMAKE_FLAGS)
	cmake --build $(BUILD) -j $(JOBS)
	@for b in $(BUILD)/bench/bench_*; do if [ -x "$$b" ]; then "$$b" || exit 1; echo; fi; done

clean:
	rm -rf $(BUILD) build-asan build-tsan
