# Two commands do all set-up on a fresh Debian 12 machine:
#   make run    installs what is missing, builds, runs the CLI on the bundled corpus
#   make test   installs what is missing, builds, runs every test
BUILD ?= build
JOBS ?= 2
CMAKE_FLAGS ?=
FUZZ_SECONDS ?= 60

.PHONY: all setup build run test test-asan test-tsan fuzz valgrind bench clean

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

# Every libFuzzer target (clang, ASan + UBSan) for FUZZ_SECONDS seconds each;
# a crash, leak, hang or wrong answer fails (inputs in build-fuzz/findings).
fuzz: setup
	FUZZ_SECONDS=$(FUZZ_SECONDS) JOBS=$(JOBS) bash scripts/fuzz.sh

# valgrind memcheck over every CLI subcommand on the bundled corpus and the
# core, files, key-value, sessions and writes suites.
valgrind: build
	BUILD=$(BUILD) bash scripts/valgrind.sh

bench: build
	@for b in $(BUILD)/bench/bench_*; do [ -x "$$b" ] && "$$b"; done

clean:
	rm -rf $(BUILD) build-asan build-tsan build-fuzz
