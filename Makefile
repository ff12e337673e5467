# Front door to the CMake build. `make` builds the engine at build/nesk and the match
# runner at build/nesk-match.
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
CMAKE ?= cmake

.PHONY: all run train_ test test-release test-sanitize test-thread bench portable fuzz clean

all: build/nesk build/nesk-match

build/CMakeCache.txt:
	$(CMAKE) -S . -B build -DCMAKE_BUILD_TYPE=Release

build/nesk: build/CMakeCache.txt FORCE
	$(CMAKE) --build build --target nesk -j $(JOBS)

# The match runner; after the engine, so that two builds never share the tree at once.
build/nesk-match: build/CMakeCache.txt build/nesk FORCE
	$(CMAKE) --build build --target nesk-match -j $(JOBS)

run: build/nesk
	./build/nesk

# An engine whose "-train2 file millions" tunes the evaluation parameters, at
# build-train/nesk.
train_:
	$(CMAKE) -S . -B build-train -DCMAKE_BUILD_TYPE=Release -DNESK_TRAINING=ON
	$(CMAKE) --build build-train --target nesk -j $(JOBS)

# Every test, on the optimised build, the address/undefined-behaviour sanitizer build and
# the thread sanitizer build. Each stage configures its build with warnings as errors, so a
# warning fails the commit that brings it. A plain "make" on a fresh clone builds without
# that setting; build/ keeps it once "make test" has configured it.
test: test-release test-sanitize test-thread

test-release: build/CMakeCache.txt
	$(CMAKE) -S . -B build -DNESK_REQUIRE_TESTS=ON -DNESK_WERROR=ON > /dev/null
	$(CMAKE) --build build -j $(JOBS)
	cd build && ctest --output-on-failure -j $(JOBS)

test-sanitize:
	$(CMAKE) -S . -B build-sanitize -DCMAKE_BUILD_TYPE=RelWithDebInfo -DNESK_SANITIZE=ON -DNESK_REQUIRE_TESTS=ON \
	  -DNESK_WERROR=ON > /dev/null
	$(CMAKE) --build build-sanitize -j $(JOBS)
	cd build-sanitize && NESK_QUICK=1 ctest --output-on-failure -j $(JOBS)

# A data race ends the process with status 66, which fails the test that ran it.
test-thread:
	$(CMAKE) -S . -B build-thread -DCMAKE_BUILD_TYPE=RelWithDebInfo -DNESK_THREAD_SANITIZE=ON -DNESK_REQUIRE_TESTS=ON \
	  -DNESK_WERROR=ON > /dev/null
	$(CMAKE) --build build-thread -j $(JOBS)
	cd build-thread && TSAN_OPTIONS="halt_on_error=1 exitcode=66" NESK_QUICK=1 ctest --output-on-failure -j $(JOBS)

bench: build/CMakeCache.txt
	$(CMAKE) --build build --target nesk_bench -j $(JOBS)
	./build/nesk_bench

# An engine for any x86-64 processor, at build-portable/nesk.
portable:
	$(CMAKE) -S . -B build-portable -DCMAKE_BUILD_TYPE=Release -DNESK_NATIVE=OFF
	$(CMAKE) --build build-portable --target nesk -j $(JOBS)

# libFuzzer targets (clang, address and undefined-behaviour sanitizers) at build-fuzz/fuzz_*.
CLANGXX ?= clang++

fuzz:
	$(CMAKE) -S fuzz -B build-fuzz -DCMAKE_CXX_COMPILER=$(CLANGXX) > /dev/null
	$(CMAKE) --build build-fuzz -j $(JOBS)

clean:
	rm -rf build build-train build-sanitize build-thread build-portable build-fuzz

FORCE:
