# The two commands that matter: `make run` and `make test`.
# Every target installs what it needs first, so each works on a fresh machine.

BUILD      ?= build
ASAN_BUILD ?= build-asan
JOBS       ?= $(shell nproc)
CMAKE_FLAGS ?=

.PHONY: all deps build test run sanitize bench fuzz clean

all: build

deps:
	@./scripts/install-deps.sh

$(BUILD)/build.ninja: CMakeLists.txt | deps
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_FLAGS)

build: deps $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS)

test: build
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

run: build
	@./scripts/run-demo.sh $(BUILD)

# Address and undefined-behaviour sanitizers over the whole suite.
sanitize: deps
	cmake -S . -B $(ASAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTESSALY_SANITIZE=ON $(CMAKE_FLAGS)
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	ctest --test-dir $(ASAN_BUILD) --output-on-failure -j $(JOBS)

# Benchmarks print our figures beside an anchor measured in the same run.
bench: deps
	cmake -S . -B $(BUILD)-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DTESSALY_BENCH=ON $(CMAKE_FLAGS)
	cmake --build $(BUILD)-bench -j $(JOBS)
	./scripts/run-benchmarks.sh $(BUILD)-bench

# libFuzzer targets (clang), built with the sanitizers.
fuzz: deps
	CC=clang CXX=clang++ cmake -S . -B $(BUILD)-fuzz -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTESSALY_FUZZ=ON -DTESSALY_SANITIZE=ON $(CMAKE_FLAGS)
	cmake --build $(BUILD)-fuzz -j $(JOBS)

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(BUILD)-bench $(BUILD)-fuzz
