# Front door to the CMake build. `make` builds the engine at build/nesk.
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
CMAKE ?= cmake

.PHONY: all run test test-release test-sanitize bench portable clean

all: build/nesk

build/CMakeCache.txt:
	$(CMAKE) -S . -B build -DCMAKE_BUILD_TYPE=Release

build/nesk: build/CMakeCache.txt FORCE
	$(CMAKE) --build build --target nesk -j $(JOBS)

run: build/nesk
	./build/nesk

# Every test, on the optimised build and on the sanitizer build.
test: test-release test-sanitize

test-release: build/CMakeCache.txt
	$(CMAKE) -S . -B build -DNESK_REQUIRE_TESTS=ON > /dev/null
	$(CMAKE) --build build -j $(JOBS)
	cd build && ctest --output-on-failure -j $(JOBS)

build-sanitize/CMakeCache.txt:
	$(CMAKE) -S . -B build-sanitize -DCMAKE_BUILD_TYPE=RelWithDebInfo -DNESK_SANITIZE=ON -DNESK_REQUIRE_TESTS=ON

test-sanitize: build-sanitize/CMakeCache.txt
	$(CMAKE) --build build-sanitize -j $(JOBS)
	cd build-sanitize && NESK_QUICK=1 ctest --output-on-failure -j $(JOBS)

bench: build/CMakeCache.txt
	$(CMAKE) --build build --target nesk_bench -j $(JOBS)
	./build/nesk_bench

# An engine for any x86-64 processor, at build-portable/nesk.
portable:
	$(CMAKE) -S . -B build-portable -DCMAKE_BUILD_TYPE=Release -DNESK_NATIVE=OFF
	$(CMAKE) --build build-portable --target nesk -j $(JOBS)

clean:
	rm -rf build build-sanitize build-portable

FORCE:
