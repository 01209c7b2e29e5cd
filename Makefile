# Entry points: make run, make test, make bench. See README.md.
BUILD      := build
# `make run` builds the game alone, apart from the full build of the tests.
GAME_BUILD := build-game
# The Windows program, cross-built; its icon is drawn by a build of the generator for this machine.
WIN_BUILD   := build-windows
TOOLS_BUILD := build-tools
WIN_ICON    := $(CURDIR)/$(TOOLS_BUILD)/marevant.ico
WINE_PREFIX := $(CURDIR)/$(WIN_BUILD)/wineprefix
JOBS       := $(shell nproc 2>/dev/null || echo 2)
CTEST_ARGS := --output-on-failure -j $(JOBS)
COMMA      := ,

.PHONY: all deps deps-run deps-windows windows-icon windows windows-package windows-for-tests \
        test-windows \
        build build-game run install package test test-large-file mutants bench test-asan test-tsan test-ubsan test-asan-ubsan \
        test-all-sanitizers check-clang check-layers fuzz format clean

all: build

deps:
	@scripts/install-deps.sh test

deps-run:
	@scripts/install-deps.sh run

deps-windows:
	@scripts/install-deps.sh windows

windows-icon:
	cmake -S . -B $(TOOLS_BUILD) -DMAREVANT_TESTS=OFF -DMAREVANT_TOOLS=ON >/dev/null
	cmake --build $(TOOLS_BUILD) -j $(JOBS) --target make_icons
	$(TOOLS_BUILD)/tools/make_icons --ico $(WIN_ICON)

# $(1): extra CMake arguments for the Windows build
define configure_windows
	cmake -S . -B $(WIN_BUILD) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
	  -DCMAKE_BUILD_TYPE=Release -DMAREVANT_ICON_FILE=$(WIN_ICON) $(1) >/dev/null
endef

# build-windows/marevant.exe: one statically linked file that imports only system DLLs.
windows: deps-windows windows-icon
	$(call configure_windows,-DMAREVANT_WERROR=OFF)
	cmake --build $(WIN_BUILD) -j $(JOBS) --target marevant

# marevant-<version>-win64.zip and marevant-<version>-setup.exe in this folder.
windows-package: windows
	cmake --build $(WIN_BUILD) -j $(JOBS) --target windows_package
	cp $(WIN_BUILD)/marevant-*-win64.zip $(WIN_BUILD)/marevant-*-setup.exe .
	@ls marevant-*-win64.zip marevant-*-setup.exe

# The Windows program, its tests and its packages, warnings as errors; the Wine prefix is made
# here, once, so that no test's time limit includes its making.
windows-for-tests: deps-windows windows-icon
	$(call configure_windows,-DMAREVANT_WERROR=ON)
	cmake --build $(WIN_BUILD) -j $(JOBS)
	cmake --build $(WIN_BUILD) -j $(JOBS) --target windows_package
	MAREVANT_WINEPREFIX=$(WINE_PREFIX) tools/wine-run.sh --prepare

# The Windows program's unit and connection tests under Wine, all in one private network
# namespace with their own Wine server, which is stopped before and after.
define run_windows_tests
	WINEPREFIX=$(WINE_PREFIX) wineserver -k 2>/dev/null || true
	MAREVANT_WINEPREFIX=$(WINE_PREFIX) tools/netns-run.sh ctest --test-dir $(WIN_BUILD) $(CTEST_ARGS)
	WINEPREFIX=$(WINE_PREFIX) wineserver -k 2>/dev/null || true
endef

test-windows: windows-for-tests
	$(run_windows_tests)

# $(1): build folder, $(2): extra CMake arguments
define build_in
	cmake -S . -B $(1) $(2) >/dev/null
	cmake --build $(1) -j $(JOBS)
endef

build:
	$(call build_in,$(BUILD),)

# Only the game: no test framework, no benchmarks, no icons.
build-game:
	cmake -S . -B $(GAME_BUILD) -DMAREVANT_TESTS=OFF -DCMAKE_BUILD_TYPE=Release >/dev/null
	cmake --build $(GAME_BUILD) -j $(JOBS) --target marevant

run: deps-run build-game
	@if [ -z "$${DISPLAY:-}" ]; then \
	  echo "No X display is set (DISPLAY is empty), so the game window has nowhere to appear."; \
	  echo "Run 'make run' from a terminal inside a graphical desktop session, or start a"; \
	  echo "virtual one first:  Xvfb :1 -screen 0 1024x768x24 &  DISPLAY=:1 make run"; \
	  exit 1; \
	fi
	./$(GAME_BUILD)/marevant

# Installs below /usr/local (CMAKE_INSTALL_PREFIX) or PREFIX; DESTDIR is honoured.
PREFIX ?= /usr/local
install: deps build
	cmake --install $(BUILD) --prefix $(PREFIX)

# marevant_<version>_<arch>.deb in this folder, ready for `apt install ./marevant_...deb`.
package: deps build
	cd $(BUILD) && cpack -G DEB -B $(CURDIR)/$(BUILD)/package >/dev/null
	cp $(BUILD)/package/marevant_*.deb .
	@ls marevant_*.deb

# Warnings are errors for the tests' build, so a change that warns does not pass. The Linux
# build's end-to-end tests drive the Windows program under Wine too, so it is built first.
test: deps windows-for-tests
	$(call build_in,$(BUILD),-DMAREVANT_WERROR=ON)
	ctest --test-dir $(BUILD) $(CTEST_ARGS)
	$(run_windows_tests)

# The game built once with clang: warnings are errors, and the thread-safety analysis checks
# which lock guards what (the tests' build with GCC already makes their warnings errors).
check-clang: deps
	$(call build_in,$(BUILD)-clang,-DCMAKE_CXX_COMPILER=clang++-14 -DMAREVANT_WERROR=ON -DMAREVANT_TESTS=OFF)

# No include cycle between modules and no include against the layers.
check-layers:
	tools/check_layers

# A file of more than 2 GiB between two copies of the game's network part over loopback: too
# slow for every run of `make test`.
test-large-file: deps build
	build/tests/game/game_link_tests --gtest_also_run_disabled_tests --gtest_filter='*2GiB*'

# About twenty small faults in game/ and net/, each built and run against the suites: how many
# the suites catch. Takes about an hour.
mutants: deps build
	tools/mutants.sh

# The match benchmark listens on port 9000: every benchmark runs in a private
# network namespace where the system allows one.
bench: deps build windows-for-tests
	@for b in $(BUILD)/bench/bench_*; do echo "== $$b"; tools/netns-run.sh "$$b" || exit 1; done

test-asan: deps
	$(call build_in,$(BUILD)-asan,-DSANITIZE=address)
	ctest --test-dir $(BUILD)-asan $(CTEST_ARGS) $(LABELS)

# A race report stops the reporting process, the game under test included, so
# a race fails its test even where the program ends without running exit hooks.
test-tsan: deps
	$(call build_in,$(BUILD)-tsan,-DSANITIZE=thread -DMAREVANT_BENCH=OFF)
	TSAN_OPTIONS=halt_on_error=1 ctest --test-dir $(BUILD)-tsan $(CTEST_ARGS) $(LABELS)

test-ubsan: deps
	$(call build_in,$(BUILD)-ubsan,-DSANITIZE=undefined)
	ctest --test-dir $(BUILD)-ubsan $(CTEST_ARGS) $(LABELS)

# AddressSanitizer and UBSan in one build, the game binary of the end-to-end tests included;
# a report ends the reporting process with a failure.
test-asan-ubsan: deps
	$(call build_in,$(BUILD)-asan-ubsan,-DSANITIZE=address$(COMMA)undefined -DMAREVANT_BENCH=OFF)
	ASAN_OPTIONS=detect_leaks=1 ctest --test-dir $(BUILD)-asan-ubsan $(CTEST_ARGS) $(LABELS)

# Every test under AddressSanitizer with UBSan, then under ThreadSanitizer.
test-all-sanitizers: test-asan-ubsan test-tsan

# libFuzzer targets with ASan and UBSan, each run for FUZZ_SECONDS from the committed seeds;
# what they find new is kept in build-fuzz/corpus, not in the tree.
FUZZ_SECONDS ?= 60
FUZZ_TARGETS := receive offer input_line
fuzz: deps
	$(call build_in,build-fuzz,-DFUZZ=ON -DCMAKE_CXX_COMPILER=clang++-14)
	@for t in $(FUZZ_TARGETS); do \
	  echo "== fuzz_$$t for $(FUZZ_SECONDS) s"; \
	  mkdir -p build-fuzz/corpus/$$t; \
	  build-fuzz/tests/fuzz/fuzz_$$t -max_total_time=$(FUZZ_SECONDS) -print_final_stats=1 \
	    -timeout=10 -rss_limit_mb=2048 -artifact_prefix=$(CURDIR)/build-fuzz/ $(CURDIR)/build-fuzz/corpus/$$t $(CURDIR)/tests/fuzz/corpus/$$t \
	    > build-fuzz/fuzz_$$t.log 2>&1; status=$$?; \
	  grep -E '^(#[0-9]+[[:space:]]+DONE|stat::number_of_executed_units)' build-fuzz/fuzz_$$t.log; \
	  if [ $$status -ne 0 ]; then tail -n 60 build-fuzz/fuzz_$$t.log; exit 1; fi; \
	done

format:
	clang-format -i $$(git ls-files '*.cpp' '*.h')

clean:
	rm -rf $(BUILD) $(GAME_BUILD) $(WIN_BUILD) $(TOOLS_BUILD) build-old-peer build-mutants $(BUILD)-asan $(BUILD)-tsan $(BUILD)-ubsan $(BUILD)-asan-ubsan $(BUILD)-clang build-fuzz
