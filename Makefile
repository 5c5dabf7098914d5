# Two commands cover everyday use:
#   make demo   build the extension and run a short demo in the sqlite3 shell
#   make test   build everything and run the whole test suite through CTest
# Both stop with the Debian package to install when a tool is missing.

BUILD ?= build
JOBS  ?= $(shell nproc 2>/dev/null || echo 2)

# need(command, package): stop unless command is on PATH.
need = @command -v $(1) >/dev/null 2>&1 || { \
	echo "error: '$(1)' was not found. Install it with: sudo apt-get install $(2)" >&2; exit 1; }

.PHONY: all build demo test clean

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

clean:
	rm -rf $(BUILD)
