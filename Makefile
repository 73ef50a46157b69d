# rfdock: `make run` starts the service, `make test` builds and runs every test.
# Both install what is missing first (Debian 12, as root or through sudo).

BUILD ?= build
CMAKE_FLAGS ?=
ifeq ($(CI),true)
CMAKE_FLAGS += -DRFDOCK_WERROR=ON
endif
JOBS ?= $(shell nproc)
# `make test SANITIZE=0` runs the normal suites only.
SANITIZE ?= 1
# ccache, where installed, keeps rebuilds of the three build folders cheap.
ifneq ($(shell command -v ccache),)
CMAKE_FLAGS += -DCMAKE_CXX_COMPILER_LAUNCHER=ccache
endif

.PHONY: all setup setup-run setup-package configure build build-run run test check bench asan tsan sanitized \
	package package-check test-armhf format clean

all: build

# `make run` installs what building and running need; the test tools come with `make test`.
setup:
	@bash scripts/setup.sh test
setup-run:
	@bash scripts/setup.sh run
setup-package:
	@bash scripts/setup.sh package

configure: setup
	@cmake -S . -B $(BUILD) -G Ninja $(CMAKE_FLAGS) >/dev/null

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

# Only the two programs and their page: without the test libraries the tests are not configured.
build-run: setup-run
	@cmake -S . -B $(BUILD) -G Ninja $(CMAKE_FLAGS) >/dev/null
	@cmake --build $(BUILD) -j $(JOBS) --target rfdock rfdock-sim web_area

run: build-run
	@if [ -x $(BUILD)/bin/rfdock-sim ]; then exec $(BUILD)/bin/rfdock-sim $(ARGS); \
	else exec $(BUILD)/bin/rfdock $(ARGS); fi

test: check
	@$(MAKE) --no-print-directory package-check
ifneq ($(SANITIZE),0)
	@$(MAKE) --no-print-directory sanitized
endif

check: build
	@cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

# build/rfdock_<version>_<arch>.deb: the service, its page, udev rules, user unit, link handler.
package: setup-package
	@cmake -S . -B $(BUILD) -G Ninja $(CMAKE_FLAGS) >/dev/null
	@cmake --build $(BUILD) -j $(JOBS) --target rfdock web_area packaging_files
	@cd $(BUILD) && cpack -G DEB >/dev/null && ls -1 $(CURDIR)/$(BUILD)/rfdock_*.deb

# The package's contents, lintian, the unit and the desktop file (packaging/check.sh).
package-check: package
	@bash packaging/check.sh $(BUILD)

# The unit tests built for armhf with Debian's cross compiler and run under qemu-user.
test-armhf:
	@bash scripts/armhf.sh

bench: build
	@for b in $(BUILD)/bin/*_bench; do $$b --benchmark_repetitions=5 --benchmark_report_aggregates_only=true; done

# Sanitizer builds live in their own folders so they never mix with the normal build. They run the
# C++ suites (unit, in-process end-to-end, fuzz replays); the JavaScript suite and the include check
# say nothing new there and run in the normal build only.
SANITIZED_TESTS = ctest --output-on-failure -j $(JOBS) -E '^(js_tests|js_types|layer_includes.*)$$'

asan:
	@$(MAKE) --no-print-directory build BUILD=build-asan \
		CMAKE_FLAGS="$(CMAKE_FLAGS) -DRFDOCK_SANITIZE=address,undefined -DRFDOCK_BENCH=OFF"
	@cd build-asan && $(SANITIZED_TESTS)

tsan:
	@$(MAKE) --no-print-directory build BUILD=build-tsan \
		CMAKE_FLAGS="$(CMAKE_FLAGS) -DRFDOCK_SANITIZE=thread -DRFDOCK_BENCH=OFF"
	@cd build-tsan && $(SANITIZED_TESTS)

sanitized: asan tsan

format:
	@git ls-files '*.cpp' '*.hpp' | xargs clang-format -i

clean:
	@rm -rf $(BUILD) build-asan build-tsan
