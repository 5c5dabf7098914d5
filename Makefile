# Everyday use:
#   make demo       build the extension and run a short demo in the sqlite3 shell
#   make test       build everything and run the whole test suite through CTest
# Deeper checks, all run by CI:
#   make sanitize   the test suite under AddressSanitizer and UndefinedBehaviorSanitizer
#   make tsan       the concurrency tests under ThreadSanitizer
#   make fuzz       the libFuzzer target for FUZZ_SECONDS (default 90) seconds
#   make hosts      the module in the sqlite3 shell, Python and Node.js (better-sqlite3 12)
#   make windows    geodesy.dll with mingw-w64, checked in a Windows SQLite host under wine
# Each stops with the Debian package to install when a tool is missing.

BUILD ?= build
JOBS  ?= $(shell nproc 2>/dev/null || echo 2)
FUZZ_SECONDS ?= 90

# need(command, package): stop unless command is on PATH.
need = @command -v $(1) >/dev/null 2>&1 || { \
	echo "error: '$(1)' was not found. Install it with: sudo apt-get install $(2)" >&2; exit 1; }

NODE_HOST   := tests/hosts/node_modules/better-sqlite3
AMALGAMATION := $(NODE_HOST)/deps/sqlite3

.PHONY: all build demo test sanitize tsan fuzz hosts windows clean

all: build

build:
	$(call need,cmake,cmake)
	$(call need,c++,g++)
	cmake -S . -B $(BUILD)
	cmake --build $(BUILD) -j $(JOBS)

demo: build
	$(call need,sqlite3,sqlite3)
	sqlite3 -bail :memory: -cmd ".load ./$(BUILD)/geodesy" < examples/demo.sql

test:
	$(call need,cmake,cmake)
	$(call need,c++,g++)
	$(call need,sqlite3,sqlite3)
	cmake -S . -B $(BUILD) -DBUILD_TESTING=ON
	cmake --build $(BUILD) -j $(JOBS)
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

sanitize:
	cmake -S . -B build-asan -DBUILD_TESTING=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DGEODESY_SANITIZE=address,undefined
	cmake --build build-asan -j $(JOBS)
	cd build-asan && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
	  UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 ctest --output-on-failure -j $(JOBS)

tsan:
	cmake -S . -B build-tsan -DBUILD_TESTING=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DGEODESY_SANITIZE=thread
	cmake --build build-tsan -j $(JOBS) --target geodesy concurrency_tests
	cd build-tsan && TSAN_OPTIONS=halt_on_error=1 ctest --output-on-failure -R '^Concurrency\.'

fuzz:
	$(call need,clang++,clang)
	cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
	  -DGEODESY_FUZZ=ON -DGEODESY_SANITIZE=fuzzer-no-link,address,undefined
	cmake --build build-fuzz -j $(JOBS) --target fuzz_geodesy
	mkdir -p build-fuzz/corpus
	build-fuzz/fuzz/fuzz_geodesy -max_total_time=$(FUZZ_SECONDS) -print_final_stats=1 \
	  build-fuzz/corpus fuzz/corpus

$(NODE_HOST):
	$(call need,npm,npm)
	cd tests/hosts && npm install --no-package-lock --no-audit --no-fund

hosts: $(NODE_HOST)
	cmake -S . -B $(BUILD) -DBUILD_TESTING=ON
	cmake --build $(BUILD) -j $(JOBS)
	cd $(BUILD) && GEODESY_REQUIRE_HOSTS=1 ctest --output-on-failure -L hosts

windows: $(NODE_HOST)
	$(call need,x86_64-w64-mingw32-g++,g++-mingw-w64-x86-64)
	cmake -S . -B build-mingw -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
	  -DBUILD_TESTING=ON -DSQLITE3EXT_INCLUDE_DIR=$(CURDIR)/$(AMALGAMATION) \
	  -DGEODESY_SQLITE_AMALGAMATION=$(CURDIR)/$(AMALGAMATION)
	cmake --build build-mingw -j $(JOBS)
	cd build-mingw && ctest --output-on-failure

clean:
	rm -rf $(BUILD) build-asan build-tsan build-fuzz build-mingw
