SHELL := /bin/bash
# The project's targets, from the README's Quick start (make run, make test)
# to the checks and the release. `make help` lists them, each with the "## "
# note on its line, and fails for a target without one, so that the list
# can't leave a new target out.
#
# Each build's settings are a configure preset of CMakePresets.json, which
# the release script uses too; the folders below take the place of the
# presets' own (-B), so that any of them can be moved, and CMAKE_FLAGS adds
# to every configure.
BUILD_DIR ?= build
CMAKE_FLAGS ?=
# Debian's own Python, as in the CMake files: another python3 first on the
# PATH (pyenv's) lacks Debian's modules.
SYSTEM_PYTHON3 := /usr/bin/python3

.PHONY: all help deps configure build run test windows configure-web web run-web bench-web sanitize fuzz bench
.PHONY: package release release-check clean

all: build ## what a bare make does: the same as build

help: ## this list of the targets
	@awk -f scripts/make-help.awk $(firstword $(MAKEFILE_LIST))

deps: ## installs the Debian packages the Linux build needs
	@sh scripts/install-deps.sh

configure: deps ## configures the Linux build in build/
	@cmake --preset linux -B $(BUILD_DIR) $(CMAKE_FLAGS)

build: configure ## builds the Linux program and its tests in build/
	@cmake --build $(BUILD_DIR)

# The editor starts with a fresh copy of the sample nation file loaded, so
# that it can be ticked and patched at once. Only the editor and the
# sample's generator are built for it, not the tests.
TRY_DIR ?= $(BUILD_DIR)/try

run: configure ## starts the Linux program on a fresh sample nation file
	@cmake --build $(BUILD_DIR) --target nation-editor make-sample-nation
	@mkdir -p $(TRY_DIR)
	@$(BUILD_DIR)/sample/make-sample-nation $(TRY_DIR)/Nation.dat
	@echo "A fresh sample nation file to try: $(abspath $(TRY_DIR))/Nation.dat"
	@cd $(TRY_DIR) && $(abspath $(BUILD_DIR))/qt/nation-editor Nation.dat

# Every platform: the Linux build, the Windows build with its tests under
# Wine, and the web page with its tests under Node and in Chromium, Firefox
# and WebKit.
test: build windows web ## every test: Linux, then Windows under Wine, then the page under Node and in three browsers
	@QT_QPA_PLATFORM=offscreen ctest --test-dir $(BUILD_DIR) --output-on-failure
	@ctest --test-dir $(WINDOWS_DIR) --output-on-failure
	@ctest --test-dir $(WEB_DIR) --output-on-failure

WINDOWS_DIR ?= build-windows

# The Windows program and its tests, cross-built with MinGW-w64.
windows: ## cross-builds the Windows program, its tests, the players' zip
	@sh scripts/install-deps.sh windows
	@cmake --preset windows -B $(WINDOWS_DIR) $(CMAKE_FLAGS)
	@cmake --build $(WINDOWS_DIR)
	@echo "The program file: $(WINDOWS_DIR)/win32/nation-editor.exe; for players: $$(ls $(WINDOWS_DIR)/nation-editor-*-windows.zip)"

WEB_DIR ?= build-web

# The web page, compiled to WebAssembly by Debian's emscripten (the preset
# names its toolchain file, as emcmake would). Its tests compare its patches
# with the Linux build's in $(BUILD_DIR).
configure-web: ## configures the web build in build-web/
	@sh scripts/install-deps.sh web
	@cmake --preset web -B $(WEB_DIR) -DNATION_LINUX_BUILD=$(abspath $(BUILD_DIR)) $(CMAKE_FLAGS) >/dev/null

# The page, $(WEB_DIR)/site/index.html, one file that works opened from the
# disk or served by any web server as it is, its zip and the page's tests.
web: configure-web ## the web page in one file, its zip and its tests, built with emscripten
	@cmake --build $(WEB_DIR)
	@echo "The page: $(WEB_DIR)/site/index.html; for players and web hosts: $$(ls $(WEB_DIR)/nation-editor-*-web.zip)"

WEB_PORT ?= 8080

# Serves the page to this machine alone, with a fresh sample nation file to
# load into it. Only the page and the sample's generator are built for it,
# not the tests.
run-web: configure-web ## serves the web page on localhost, with a sample file to load
	@cmake --build $(WEB_DIR) --target site make-sample-nation
	@mkdir -p $(WEB_DIR)/try
	@/usr/bin/node $(WEB_DIR)/sample/make-sample-nation.js $(WEB_DIR)/try/Nation.dat
	@echo "A fresh sample nation file to load: $(abspath $(WEB_DIR))/try/Nation.dat"
	@echo "The editor: http://127.0.0.1:$(WEB_PORT)/ (Ctrl+C stops the server)"
	@$(SYSTEM_PYTHON3) -m http.server --bind 127.0.0.1 --directory $(WEB_DIR)/site $(WEB_PORT)

# The page's load in headless Chromium, medians of ten, beside its targets.
bench-web: web ## the web page's speed in headless Chromium and Firefox beside its targets
	@$(SYSTEM_PYTHON3) web/tests/bench_page.py $(WEB_DIR)/site $(BUILD_DIR)/web/tests/same-steps

SANITIZE_DIR ?= build-sanitize

sanitize: deps ## every test under ASan, UBSan and LeakSanitizer
	@cmake --preset sanitize -B $(SANITIZE_DIR) $(CMAKE_FLAGS)
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
fuzz: ## the fuzzers on the file library, FUZZ_SECONDS each
	@sh scripts/install-deps.sh fuzz
	@cmake --preset fuzz -B $(FUZZ_DIR) $(CMAKE_FLAGS)
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

# Both windows' speed: the Linux window's with Google Benchmark, the Windows
# window's under Wine on a virtual display, in a prefix of the bench's own.
# Each benchmark is named as it starts; the table judges medians of ten
# repetitions against the targets, measuring a miss again before failing.
bench: ## both windows' speed beside their floors and targets
	@sh scripts/install-deps.sh bench windows
	@cmake --preset bench -B $(BUILD_DIR) $(CMAKE_FLAGS)
	@cmake --build $(BUILD_DIR) --target bench_nation
	@cmake --preset bench-windows -B $(WINDOWS_DIR) $(CMAKE_FLAGS)
	@cmake --build $(WINDOWS_DIR) --target bench_nation_win32
	@echo "The Wine prefix of the Windows benchmarks: $(abspath $(WINDOWS_DIR))/wine-prefix-bench"
	@sh scripts/wine-prefix-setup.sh $(abspath $(WINDOWS_DIR))/wine-prefix-bench >/dev/null 2>&1 \
	    || { echo "the Wine prefix could not be made" >&2; exit 1; }
	@mkdir -p $(BUILD_DIR)/bench
	@sh scripts/with-xvfb.sh $(SYSTEM_PYTHON3) scripts/bench.py $(BUILD_DIR)/bench $(BUILD_DIR)/bench/bench_nation \
	    $(CURDIR)/scripts/wine-run.sh $(abspath $(WINDOWS_DIR))/wine-prefix-bench \
	    $(abspath $(WINDOWS_DIR))/bench/bench_nation_win32.exe
	@$(MAKE) --no-print-directory bench-web

PACKAGE_DIR ?= build-package

# A Debian package of the editor, built by CPack into $(PACKAGE_DIR)/packages.
package: ## the Debian package, in build-package/packages/
	@sh scripts/install-deps.sh package
	@cmake --preset package -B $(PACKAGE_DIR) $(CMAKE_FLAGS)
	@cmake --build $(PACKAGE_DIR) --target nation-editor
	@cd $(PACKAGE_DIR) && cpack -B packages >/dev/null
	@ls $(PACKAGE_DIR)/packages/*.deb

# What a release is built with, for release and release-check alike.
RELEASE_DEPS = sh scripts/install-deps.sh package windows web

# dist/: the players' zip, the Debian package, the source archive of the
# commit and SHA256SUMS, the same bytes from the same commit anywhere, in a
# clone or in its source archive, unpacked.
release: ## dist/: the players' zip, the .deb, the web zip, the source, SHA256SUMS
	@$(RELEASE_DEPS)
	@sh scripts/release.sh

# Two releases of the commit from two clones at different paths, a few
# seconds apart, and a third from the first one's source archive, unpacked,
# compared byte for byte.
release-check: ## the release from two clones and from its source, compared
	@$(RELEASE_DEPS)
	@sh scripts/check-release.sh

clean: ## removes every build folder and dist/
	@rm -rf $(BUILD_DIR) $(WINDOWS_DIR) $(WEB_DIR) $(SANITIZE_DIR) $(FUZZ_DIR) $(PACKAGE_DIR) build-release dist
