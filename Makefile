# Entry points: make run, make test, make bench. See README.md.
BUILD      := build
JOBS       := $(shell nproc 2>/dev/null || echo 2)
CTEST_ARGS := --output-on-failure -j $(JOBS)

.PHONY: all deps build run test bench test-asan test-tsan test-ubsan format clean

all: build

deps:
	@scripts/install-deps.sh

# $(1): build folder, $(2): extra CMake arguments
define build_in
	cmake -S . -B $(1) $(2) >/dev/null
	cmake --build $(1) -j $(JOBS)
endef

build:
	$(call build_in,$(BUILD),)

run: deps build
	@if [ -z "$${DISPLAY:-}" ]; then \
	  echo "No X display is set (DISPLAY is empty), so the game window has nowhere to appear."; \
	  echo "Run 'make run' from a terminal inside a graphical desktop session, or start a"; \
	  echo "virtual one first:  Xvfb :1 -screen 0 1024x768x24 &  DISPLAY=:1 make run"; \
	  exit 1; \
	fi
	./$(BUILD)/marevant

test: deps build
	ctest --test-dir $(BUILD) $(CTEST_ARGS)

# The match benchmark listens on port 9000: every benchmark runs in a private
# network namespace where the system allows one.
bench: deps build
	@for b in $(BUILD)/bench/bench_*; do echo "== $$b"; tools/netns-run.sh "$$b" || exit 1; done

test-asan: deps
	$(call build_in,$(BUILD)-asan,-DSANITIZE=address)
	ctest --test-dir $(BUILD)-asan $(CTEST_ARGS) $(LABELS)

# A race report stops the reporting process, the game under test included, so
# a race fails its test even where the program ends without running exit hooks.
test-tsan: deps
	$(call build_in,$(BUILD)-tsan,-DSANITIZE=thread)
	TSAN_OPTIONS=halt_on_error=1 ctest --test-dir $(BUILD)-tsan $(CTEST_ARGS) $(LABELS)

test-ubsan: deps
	$(call build_in,$(BUILD)-ubsan,-DSANITIZE=undefined)
	ctest --test-dir $(BUILD)-ubsan $(CTEST_ARGS) $(LABELS)

format:
	clang-format -i $$(git ls-files '*.cpp' '*.h')

clean:
	rm -rf $(BUILD) $(BUILD)-asan $(BUILD)-tsan $(BUILD)-ubsan
