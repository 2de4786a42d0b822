# Entry points for newcomers and CI. `make test` installs what is missing, then builds
# and tests every target: native under ASan/UBSan and (thread-sensitive tests) under
# TSan, native32, win32 and win64 (under Wine), then runs valgrind and the fuzzers for a
# bounded time. On a machine whose kernel runs 64-bit code only, native32 runs under
# qemu, win32 is built but not run (win64 stands in), and valgrind checks the native
# 64-bit programs instead of the native32 ones; the summary says what did not run and why.
SHELL := /bin/bash
JOBS ?= 2
PRESETS_TEST := native-asan native-tsan native32 win32 win64

.PHONY: all deps test bench bench-startup demo demo-screenshot stress clean fuzz test-valgrind test-valgrind32 test-valgrind64 test-consumer test-scripts $(addprefix test-,$(PRESETS_TEST)) $(addprefix build-,$(PRESETS_TEST) native)

all: test

deps:
	@scripts/install-deps.sh

# A static pattern rule: make skips implicit rules for phony targets.
$(addprefix build-,$(PRESETS_TEST) native): build-%: deps
	@cmake --preset $* >/dev/null
	@cmake --build --preset $* -j $(JOBS)

# A step that cannot run on this machine records why in build/TARGET/not-run, for the
# summary, says so and succeeds; `runs` prints the reason when it answers no.
# $(call run_if,TARGET,COMMANDS)
define run_if
	@rm -f build/$(1)/not-run; \
	if why=$$(scripts/i386-support.sh runs $(1)); then $(2); \
	else mkdir -p build/$(1) && echo "$$why" >build/$(1)/not-run && echo "$(1): not run: $$why"; fi
endef

test-native-asan: build-native-asan
	@rm -rf build/native-asan/test-results
	@ctest --preset native-asan -j $(JOBS)

# The thread-sensitive tests (engine, integration, reference-count stress) under
# ThreadSanitizer.
test-native-tsan: deps
	@cmake --preset native-tsan >/dev/null
	@cmake --build --preset native-tsan -j $(JOBS)
	@rm -rf build/native-tsan/test-results
	@ctest --preset native-tsan -j $(JOBS)

test-native32: build-native32
	@rm -rf build/native32/test-results
	$(call run_if,native32,ctest --preset native32 -j $(JOBS))

# The end-to-end tests need the site's port (compiled into the launcher) free: a port
# held by another program ends the step at once with one line saying how to choose another.
# Both Windows targets run their end-to-end tests, one after the other.
$(addprefix test-,win32 win64): test-%: build-%
	@rm -rf build/$*/test-results
	$(call run_if,$*,scripts/check-site-port.sh build/$* && \
	  xvfb-run -a -s "-screen 0 1600x1000x24" ctest --preset $* -j $(JOBS))

# Every step runs even when an earlier one fails; the summary of the test counts comes
# last, with a line for each target that could not run here, and the failed steps are
# named above it. A site port held by another program ends the whole run at once,
# before anything is built.
TEST_STEPS := test-scripts $(addprefix test-,$(PRESETS_TEST)) test-consumer test-valgrind fuzz
CONSUMER_TREES := build/consumer/native build/consumer/native32 build/consumer/win32 build/consumer/win64
VALGRIND_RESULTS := build/valgrind32 build/valgrind64
test: deps
	@cmake --preset win32 >/dev/null && scripts/check-site-port.sh build/win32
	@status=0; failed=""; \
	for t in $(TEST_STEPS); do \
	  FUZZ_SECONDS=$${FUZZ_SECONDS:-20} $(MAKE) --no-print-directory $$t || { status=1; failed="$$failed $$t"; }; \
	done; \
	[ -z "$$failed" ] || echo "Failed steps:$$failed"; \
	python3 scripts/test-summary.py $(addprefix build/,$(PRESETS_TEST)) $(CONSUMER_TREES) $(VALGRIND_RESULTS) || status=1; \
	exit $$status

# The project's own scripts: the install script's version pairing against a fake index.
test-scripts:
	@python3 -m unittest discover -s tests/scripts

# The binding as other programs get it: installed from the native and win32 trees
# (binding and engine components), tests/consumer configured against each installed
# tree with find_package, built and run (win32 under Wine).
test-consumer: deps
	@scripts/test-consumer.sh

# The test programs under valgrind memcheck (no leaks, no errors): the native32 ones
# where this machine runs 32-bit code, the native 64-bit ones (optimised build) where it
# does not. The Wine programs are not run.
test-valgrind: test-valgrind32 test-valgrind64
VALGRIND_PRESET_32 := native32
VALGRIND_PRESET_64 := native
test-valgrind32 test-valgrind64: test-valgrind%: deps
	@rm -rf build/valgrind$*
	$(call run_if,valgrind$*,$(MAKE) --no-print-directory build-$(VALGRIND_PRESET_$*) && scripts/valgrind-tests.sh $(VALGRIND_PRESET_$*) build/valgrind$*)

# libFuzzer targets (clang, ASan/UBSan) for FUZZ_SECONDS each (default 30) over a copy
# of the committed corpus.
fuzz: deps
	@cmake --preset fuzz >/dev/null
	@cmake --build --preset fuzz -j $(JOBS)
	@scripts/run-fuzzers.sh

# The demo's screenshot goes to build/win32/demo/launcher.png (win64 where 32-bit code cannot run); demo-screenshot refreshes
# the README's picture (docs/launcher.png) instead.
demo: deps
	@scripts/demo.sh

demo-screenshot: deps
	@DEMO_SCREENSHOT=$(CURDIR)/docs/launcher.png scripts/demo.sh

# The engine, integration, bridge, wrapper, engine page, binding exit and end-to-end test
# programs STRESS_RUNS times each (default 20) on every test target, beside two
# CPU-burning processes; a table of failures per program and target at the end. Not part of `make test` (it takes long).
stress: deps
	@JOBS=$(JOBS) scripts/stress.sh

# The binding's cost over the raw engine calls, and the loads and main-thread hand-offs
# through our engine: builds the benchmark program of the native preset and runs every
# case beside its baseline, 15 repetitions interleaved at random so machine noise falls
# on both sides alike. The program's own output goes to build/native/bench.log and
# bench.json; what is printed is one table of ratios, allocations per call, peak memory
# and goals, then the launcher's start-up against a bare window.
BENCH_FLAGS := --benchmark_min_time=0.05 --benchmark_repetitions=15 --benchmark_enable_random_interleaving=true
bench: deps
	@cmake --preset native >/dev/null
	@cmake --build --preset native -j $(JOBS) --target ceflib_bench -- --no-print-directory
	@build/native/bin/ceflib_bench $(BENCH_FLAGS) --benchmark_out=build/native/bench.json \
	  --benchmark_out_format=json >build/native/bench.log 2>&1 || { cat build/native/bench.log; exit 1; }
	@python3 scripts/bench-ratios.py build/native/bench.json
	@$(MAKE) --no-print-directory bench-startup

# Launcher start-up under Wine against a bare window of the same class, RUNS (default 5)
# interleaved runs each, warm and cold; the ratio and where the launcher's time goes.
bench-startup: build-win32
	@scripts/bench-launcher-startup.sh

clean:
	rm -rf build
