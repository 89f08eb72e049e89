# Quick start: `make run` opens the program, `make test` runs every test,
# `make deb` builds the Debian package. Each installs what is missing and
# configures the build in build/.
BUILD_DIR ?= build
CMAKE_FLAGS ?=
JOBS ?= $(shell nproc)

.PHONY: all deps configure build run test deb sanitize fuzz bench clean

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

# build-deb/tavrel_<version>_<arch>.deb, of both programs, built apart with
# Debian's hardening flags (fortify, stack protector, relro and bindnow).
DEB_DIR ?= build-deb
deb: deps
	export DEB_BUILD_MAINT_OPTIONS=hardening=+all; \
	CXXFLAGS="$$(dpkg-buildflags --get CXXFLAGS) $$(dpkg-buildflags --get CPPFLAGS)" \
	LDFLAGS="$$(dpkg-buildflags --get LDFLAGS)" \
	cmake -S . -B $(DEB_DIR) -G Ninja -DTAVREL_BUILD_BENCH=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(DEB_DIR) -j $(JOBS) --target tavrel tavrel-cli man-tavrel man-tavrel-cli
	cd $(DEB_DIR) && cpack -G DEB

# The whole suite under AddressSanitizer and UndefinedBehaviorSanitizer.
sanitize:
	$(MAKE) test BUILD_DIR=build-asan CMAKE_FLAGS="-DTAVREL_SANITIZE=ON -DTAVREL_BUILD_BENCH=OFF"

# Each fuzz target for FUZZ_SECONDS from the seed corpus in fuzz/corpus (new
# inputs go to build-fuzz/corpus, the repository's corpus is not changed). The
# writers' target writes its files in memory (/dev/shm) where there is one.
# An input that takes more than 512 MiB is a finding; the sanitizer's quarantine
# of freed memory is kept small so that it does not count against that.
FUZZ_SECONDS ?= 60
FUZZ_TARGETS = fuzz_bmp fuzz_png fuzz_nif fuzz_bmz fuzz_writers
fuzz:
	@TAVREL_FUZZ=1 ./scripts/install-deps.sh
	CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DTAVREL_BUILD_FUZZ=ON -DTAVREL_BUILD_GUI=OFF -DTAVREL_BUILD_BENCH=OFF
	cmake --build build-fuzz -j $(JOBS) --target $(FUZZ_TARGETS)
	@set -e; [ -d /dev/shm ] && export TMPDIR=/dev/shm; \
	export ASAN_OPTIONS=quarantine_size_mb=64; \
	for t in $(FUZZ_TARGETS); do \
	  seeds=fuzz/corpus/$${t#fuzz_}; mkdir -p build-fuzz/corpus/$$t; \
	  echo "== $$t: $(FUZZ_SECONDS) s from $$seeds"; \
	  build-fuzz/fuzz/$$t -seed=1 -max_total_time=$(FUZZ_SECONDS) -timeout=10 -rss_limit_mb=512 -print_final_stats=1 \
	    -dict=fuzz/tavrel.dict build-fuzz/corpus/$$t $$seeds; \
	done

bench: build
	@for b in $(BUILD_DIR)/bench/bench_*; do [ -x "$$b" ] && "$$b"; done

clean:
	rm -rf $(BUILD_DIR) build-asan build-fuzz $(DEB_DIR)
