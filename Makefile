# rfdock: `make run` starts the service, `make test` builds and runs every test.
# Both install what is missing first (Debian 12, as root or through sudo).

BUILD ?= build
CMAKE_FLAGS ?=
ifeq ($(CI),true)
CMAKE_FLAGS += -DRFDOCK_WERROR=ON
endif
JOBS ?= $(shell nproc)

.PHONY: all setup configure build run test bench asan tsan format clean

all: build

setup:
	@bash scripts/setup.sh

configure: setup
	@cmake -S . -B $(BUILD) -G Ninja $(CMAKE_FLAGS) >/dev/null

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

run: build
	@if [ -x $(BUILD)/bin/rfdock-sim ]; then exec $(BUILD)/bin/rfdock-sim $(ARGS); \
	else exec $(BUILD)/bin/rfdock $(ARGS); fi

test: build
	@cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

bench: build
	@for b in $(BUILD)/bin/*_bench; do $$b --benchmark_repetitions=5 --benchmark_report_aggregates_only=true; done

# Sanitizer builds live in their own folders so they never mix with the normal build.
asan:
	@$(MAKE) test BUILD=build-asan CMAKE_FLAGS="-DRFDOCK_SANITIZE=address,undefined -DRFDOCK_BENCH=OFF"

tsan:
	@$(MAKE) test BUILD=build-tsan CMAKE_FLAGS="-DRFDOCK_SANITIZE=thread -DRFDOCK_BENCH=OFF"

format:
	@git ls-files '*.cpp' '*.hpp' | xargs clang-format -i

clean:
	@rm -rf $(BUILD) build-asan build-tsan
