# Quick start: `make run` opens the program, `make test` runs every test,
# `make deb` builds the Debian package. Each installs what is missing and
# configures the build in build/.
BUILD_DIR ?= build
CMAKE_FLAGS ?=
JOBS ?= $(shell nproc)

.PHONY: all deps configure build run test deb sanitize bench clean

all: build

deps:
	@./scripts/install-deps.sh

$(BUILD_DIR)/build.ninja: | deps
	cmake -S . -B $(BUILD_DIR) -G Ninja $(CMAKE_FLAGS)

configure: $(BUILD_DIR)/build.ninja

build: deps configure
	cmake --build $(BUILD_DIR) -j $(JOBS)

# Builds only the window, the command-line tool and the sample, not the tests.
run: deps configure
	cmake --build $(BUILD_DIR) -j $(JOBS) --target tavrel-cli
	@if ninja -C $(BUILD_DIR) -t query tavrel >/dev/null 2>&1; then \
	  cmake --build $(BUILD_DIR) -j $(JOBS) --target tavrel tavrel-sample; \
	fi
	@./scripts/run-window.sh $(BUILD_DIR)

test: build
	ctest --test-dir $(BUILD_DIR) --output-on-failure -j $(JOBS)

# build/tavrel_<version>_<arch>.deb, of both programs.
deb: build
	cd $(BUILD_DIR) && cpack -G DEB

# The whole suite under AddressSanitizer and UndefinedBehaviorSanitizer.
sanitize:
	$(MAKE) test BUILD_DIR=build-asan CMAKE_FLAGS="-DTAVREL_SANITIZE=ON -DTAVREL_BUILD_BENCH=OFF"

bench: build
	@for b in $(BUILD_DIR)/bench/bench_*; do [ -x "$$b" ] && "$$b"; done

clean:
	rm -rf $(BUILD_DIR) build-asan
