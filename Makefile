SHELL := /bin/bash
# The two commands of the README's Quick start, and the steps they share.
BUILD_DIR ?= build
CMAKE_FLAGS ?=

.PHONY: all deps configure build run test windows sanitize fuzz bench package release release-check clean

all: build

deps:
	@sh scripts/install-deps.sh

configure: deps
	@cmake -S . -B $(BUILD_DIR) -G Ninja $(CMAKE_FLAGS)

build: configure
	@cmake --build $(BUILD_DIR)

# The editor starts with a fresh copy of the sample nation file loaded, so
# that it can be ticked and patched at once. Only the editor and the
# sample's generator are built for it, not the tests.
TRY_DIR ?= $(BUILD_DIR)/try

run: configure
	@cmake --build $(BUILD_DIR) --target nation-editor make-sample-nation
	@mkdir -p $(TRY_DIR)
	@$(BUILD_DIR)/sample/make-sample-nation $(TRY_DIR)/Nation.dat
	@echo "A fresh sample nation file to try: $(abspath $(TRY_DIR))/Nation.dat"
	@cd $(TRY_DIR) && $(abspath $(BUILD_DIR))/qt/nation-editor Nation.dat

# Both platforms: the Linux build, then the Windows build with its tests
# under Wine.
test: build windows
	@QT_QPA_PLATFORM=offscreen ctest --test-dir $(BUILD_DIR) --output-on-failure
	@ctest --test-dir $(WINDOWS_DIR) --output-on-failure

WINDOWS_DIR ?= build-windows

# The Windows program and its tests, cross-built with MinGW-w64.
windows:
	@sh scripts/install-deps.sh windows
	@cmake -S . -B $(WINDOWS_DIR) -G Ninja -DCMAKE_TOOLCHAIN_FILE=$(CURDIR)/cmake/mingw-w64-i686.cmake \
	    $(CMAKE_FLAGS)
	@cmake --build $(WINDOWS_DIR)
	@echo "The program file: $(WINDOWS_DIR)/win32/nation-editor.exe; for players: $$(ls $(WINDOWS_DIR)/nation-editor-*-windows.zip)"

SANITIZE_DIR ?= build-sanitize

sanitize: deps
	@cmake -S . -B $(SANITIZE_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DNATION_SANITIZE=ON $(CMAKE_FLAGS)
	@cmake --build $(SANITIZE_DIR)
	@QT_QPA_PLATFORM=offscreen \
	    ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:detect_stack_use_after_return=1 \
	    LSAN_OPTIONS=suppressions=$(CURDIR)/scripts/lsan.supp:print_suppressions=0 \
	    UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	    ctest --test-dir $(SANITIZE_DIR) --output-on-failure

FUZZ_DIR ?= build-fuzz
FUZZ_SECONDS ?= 60

# Each fuzzer runs for FUZZ_SECONDS from the seed corpus and what earlier
# runs found; a crash stops make, and its input lands in $(FUZZ_DIR)/crashes.
fuzz:
	@sh scripts/install-deps.sh fuzz
	@CC=clang CXX=clang++ cmake -S . -B $(FUZZ_DIR) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	    -DNATION_FUZZ=ON -DNATION_BUILD_TESTS=OFF $(CMAKE_FLAGS)
	@cmake --build $(FUZZ_DIR) --target fuzz_read fuzz_roundtrip
	@mkdir -p $(FUZZ_DIR)/crashes
	@for target in fuzz_read fuzz_roundtrip; do \
	    mkdir -p $(FUZZ_DIR)/corpus/$$target && \
	    echo "== $$target for $(FUZZ_SECONDS) s" && \
	    $(FUZZ_DIR)/fuzz/$$target -max_total_time=$(FUZZ_SECONDS) -max_len=4096 -print_final_stats=1 \
	        -artifact_prefix=$(FUZZ_DIR)/crashes/$$target- \
	        $(FUZZ_DIR)/corpus/$$target $(FUZZ_DIR)/fuzz/seed-corpus fuzz/regressions 2>&1 \
	        | grep -E "^(stat::|#[0-9]+ *DONE|==[0-9]+==|SUMMARY|broken)" ; \
	    test $${PIPESTATUS[0]} -eq 0 || exit 1; \
	done

# Medians of ten runs each, into $(BUILD_DIR)/bench/results.json and a table.
bench:
	@sh scripts/install-deps.sh bench
	@cmake -S . -B $(BUILD_DIR) -G Ninja -DNATION_BUILD_BENCH=ON $(CMAKE_FLAGS)
	@cmake --build $(BUILD_DIR) --target bench_nation
	@mkdir -p $(BUILD_DIR)/bench
	@$(BUILD_DIR)/bench/bench_nation --benchmark_repetitions=10 --benchmark_report_aggregates_only=true \
	    --benchmark_out=$(BUILD_DIR)/bench/results.json --benchmark_out_format=json >/dev/null
	@python3 scripts/bench-table.py $(BUILD_DIR)/bench/results.json

PACKAGE_DIR ?= build-package

# A Debian package of the editor, built by CPack into $(PACKAGE_DIR)/packages.
package:
	@sh scripts/install-deps.sh package
	@cmake -S . -B $(PACKAGE_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
	    -DNATION_BUILD_TESTS=OFF -DNATION_WERROR=OFF $(CMAKE_FLAGS)
	@cmake --build $(PACKAGE_DIR) --target nation-editor
	@cd $(PACKAGE_DIR) && cpack -B packages >/dev/null
	@ls $(PACKAGE_DIR)/packages/*.deb

# dist/: the players' zip, the Debian package, the source archive of the
# commit and SHA256SUMS, the same bytes from the same commit anywhere.
release:
	@sh scripts/install-deps.sh package windows
	@sh scripts/release.sh

# Two releases of the commit from two clones at different paths, a few
# seconds apart, compared byte for byte.
release-check:
	@sh scripts/install-deps.sh package windows
	@sh scripts/check-release.sh

clean:
	@rm -rf $(BUILD_DIR) $(WINDOWS_DIR) $(SANITIZE_DIR) $(FUZZ_DIR) $(PACKAGE_DIR) build-release build-release-windows dist
