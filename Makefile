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
fuzz: deps
	CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKS_FUZZ=ON -DKS_BENCHMARKS=OFF
	cmake --build build-fuzz -j $(JOBS)
	@set -e; for f in $$(find build-fuzz -name 'fuzz_*' -type f -perm -u+x); do \
	  n=$$(basename $$f); echo "== $$f"; mkdir -p build-fuzz/corpus/$$n; \
	  seeds=$(BUILD)/test-output/fuzz-seeds/$${n#fuzz_}; [ -d $$seeds ] || seeds=; \
	  $$f -max_total_time=$(FUZZ_SECONDS) -rss_limit_mb=2048 build-fuzz/corpus/$$n $$seeds; done

run: configure
	cmake --build $(BUILD) -j $(JOBS) --target KestreluneStudio
	$(BUILD)/KestreluneStudio/KestreluneStudio

clean:
	rm -rf $(BUILD) build-asan build-fuzz
