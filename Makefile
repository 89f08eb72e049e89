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

run: build
	@if [ -x $(BUILD_DIR)/src/app/tavrel ]; then \
	  $(BUILD_DIR)/src/app/tavrel $(BUILD_DIR)/sample/sample.nif; \
	else \
	  $(BUILD_DIR)/tavrel-cli --help; \
	fi

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
