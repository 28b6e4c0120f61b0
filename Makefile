# Thin wrappers around CMake and CTest.
JOBS ?= $(shell nproc)
BUILD ?= build
CMAKE_FLAGS ?=

.PHONY: deps configure build test bench asan fuzz run clean

deps:
	@bash scripts/install-deps.sh

configure: deps
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release $(CMAKE_FLAGS)

build: configure
	cmake --build $(BUILD) -j $(JOBS)

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS) --timeout 900

bench: build
	@set -e; for b in $$(ls $(BUILD)/bench_* 2>/dev/null; find $(BUILD) -name 'bench_*' -type f -perm -u+x | grep -v '^$(BUILD)/bench_'); do \
	  echo "== $$b"; $$b --benchmark_counters_tabular=true; done

asan: deps
	cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKS_SANITIZE=ON -DKS_BENCHMARKS=OFF
	cmake --build build-asan -j $(JOBS)
	cd build-asan && UBSAN_OPTIONS=print_stacktrace=1 ctest --output-on-failure -j $(JOBS)

FUZZ_SECONDS ?= 30
FUZZ_JOBS ?= 1
# The largest single allocation a fuzz input may cause, in MB.
FUZZ_MALLOC_LIMIT_MB ?= 512
fuzz: deps
	CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKS_FUZZ=ON -DKS_BENCHMARKS=OFF $(CMAKE_FLAGS)
	cmake --build build-fuzz -j $(JOBS) --target fuzzers
	FUZZ_SECONDS=$(FUZZ_SECONDS) FUZZ_JOBS=$(FUZZ_JOBS) FUZZ_MALLOC_LIMIT_MB=$(FUZZ_MALLOC_LIMIT_MB) scripts/fuzz.sh build-fuzz $(BUILD)/test-output/fuzz-seeds $(FUZZ_TARGET)

run: configure
	cmake --build $(BUILD) -j $(JOBS) --target KestreluneStudio
	$(BUILD)/KestreluneStudio/KestreluneStudio

clean:
	rm -rf $(BUILD) build-asan build-fuzz
