# Orvale Viewer - the two commands that do everything: `make run` and `make test`.
.PHONY: all deps build samples run test test-unit assets bench clean mutants asan-build tsan-build fuzz soak

BUILD ?= build
ASAN_BUILD ?= build-asan
TSAN_BUILD ?= build-tsan
JOBS ?= 2

all: build

# Installs the Debian packages the build, the tests and the tools need.
deps:
	@tools/install_deps.sh

build: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORVALE_WERROR=ON
	cmake --build $(BUILD) -j $(JOBS)

# Renders the sample stereo pictures into samples/ (again only when the
# generator has changed since).
samples: build
	@if [ ! -f samples/garden.mpo ] || [ $(BUILD)/orvale-make-samples -nt samples/garden.mpo ]; then \
		echo "Rendering the sample stereo pictures into samples/"; \
		$(BUILD)/orvale-make-samples samples samples; \
	fi

# Opens the viewer on the sample stereo pictures. Without a display it runs
# under Xvfb and saves a screenshot.
run: build samples
	@tools/run_viewer.sh $(BUILD)/orvale-viewer

# Every test: unit and end-to-end in the normal build, then the unit tests
# again under AddressSanitizer and UndefinedBehaviorSanitizer, and the tests
# of the threads under ThreadSanitizer.
test: build asan-build tsan-build samples
	ctest --test-dir $(BUILD) --output-on-failure
	ctest --test-dir $(ASAN_BUILD) --output-on-failure
	ctest --test-dir $(TSAN_BUILD) --output-on-failure

asan-build: deps
	cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DORVALE_SANITIZE=ON -DORVALE_WERROR=ON
	cmake --build $(ASAN_BUILD) -j $(JOBS)

# Only the libraries and the tests of the threads, under ThreadSanitizer.
tsan-build: deps
	cmake -S . -B $(TSAN_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORVALE_TSAN=ON -DORVALE_WERROR=ON -DORVALE_BENCH=OFF
	cmake --build $(TSAN_BUILD) -j $(JOBS) --target decode_ahead_test scaler_test

# The mutant sweep (not part of `make test`): writes each fault listed in
# tools/mutants.txt into the code, rebuilds what it touches, runs the tests and
# restores the file. Fails when a fault goes uncaught. MUTANTS="a b" runs some.
mutants: build asan-build
	/usr/bin/python3 tools/mutants.py tools/mutants.txt $(BUILD) $(ASAN_BUILD) $(MUTANTS)

# The soak on the real window under the sanitizers: SOAK_EVENTS random events
# (SOAK_SEED repeats a run).
SOAK_EVENTS ?= 10000
soak: asan-build samples
	cd tests/e2e && ORVALE_BINARY=$(abspath $(ASAN_BUILD))/orvale-viewer \
		ORVALE_FIXTURES=$(abspath $(ASAN_BUILD))/fixtures ORVALE_SOAK_EVENTS=$(SOAK_EVENTS) \
		$(if $(SOAK_SEED),ORVALE_SOAK_SEED=$(SOAK_SEED)) /usr/bin/python3 -m unittest -v test_soak

# Runs every fuzz target for SECONDS seconds (each), growing its corpus in
# build/fuzz/; prints each target's executions and any crash.
SECONDS ?= 60
fuzz: build
	@for t in fuzz_split fuzz_load fuzz_names; do \
		echo "== $$t, $(SECONDS) s"; mkdir -p $(BUILD)/fuzz/$${t}_corpus; \
		$(BUILD)/fuzz/$$t -max_total_time=$(SECONDS) -rss_limit_mb=4096 -print_final_stats=1 \
			$(abspath $(BUILD))/fuzz/$${t}_corpus $(abspath $(BUILD))/fixtures > $(BUILD)/fuzz/$$t.log 2>&1; status=$$?; \
		grep -E 'number_of_executed_units|average_exec|ERROR|SUMMARY|Test unit written' $(BUILD)/fuzz/$$t.log; \
		[ $$status -eq 0 ] || exit 1; \
	done

# Regenerates the built-in fonts and pictures under render/assets/.
assets: deps
	/usr/bin/python3 tools/make_assets.py render/assets

test-unit: build
	ctest --test-dir $(BUILD) --output-on-failure -L unit

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(TSAN_BUILD)
