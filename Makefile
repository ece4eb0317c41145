# Orvale Viewer - the two commands that do everything: `make run` and `make test`.
.PHONY: all deps build samples run test test-unit assets bench clean mutants asan-build clang-build tsan-build \
	fuzz soak package windows-deps deps-windows windows test-windows mutants-windows

BUILD ?= build
ASAN_BUILD ?= build-asan
CLANG_BUILD ?= build-clang
TSAN_BUILD ?= build-tsan
WIN_BUILD ?= build-windows
WIN_PREFIX = $(abspath $(WIN_BUILD))/wine-prefix
JOBS ?= 2

all: build

# Installs the Debian packages the build, the tests and the tools need.
deps:
	@tools/build/install_deps.sh

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
	@tools/build/run_viewer.sh $(BUILD)/orvale-viewer

# Every test: unit and end-to-end in the normal build, then the unit tests
# again under AddressSanitizer and UndefinedBehaviorSanitizer, the tests of
# the threads under ThreadSanitizer, and the compiled unit tests once more as
# clang builds them.
test: build asan-build tsan-build clang-build samples
	ctest --test-dir $(BUILD) --output-on-failure
	ctest --test-dir $(ASAN_BUILD) --output-on-failure
	ctest --test-dir $(TSAN_BUILD) --output-on-failure
	ctest --test-dir $(CLANG_BUILD) --output-on-failure -L unit -E '^(assets_regen|layering)$$'

asan-build: deps
	cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DORVALE_SANITIZE=ON -DORVALE_WERROR=ON
	cmake --build $(ASAN_BUILD) -j $(JOBS)

# The whole tree with clang, warnings as errors, benchmarks included. Its
# fuzz targets are the normal build's (clang builds those already).
clang-build: deps
	cmake -S . -B $(CLANG_BUILD) -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_COMPILER=clang++-14 \
		-DCMAKE_C_COMPILER=clang-14 -DORVALE_WERROR=ON -DORVALE_FUZZ=OFF
	cmake --build $(CLANG_BUILD) -j $(JOBS)

# Only the libraries and the tests of the threads, under ThreadSanitizer.
tsan-build: deps
	cmake -S . -B $(TSAN_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORVALE_TSAN=ON -DORVALE_WERROR=ON -DORVALE_BENCH=OFF
	cmake --build $(TSAN_BUILD) -j $(JOBS) --target loading_test job_queue_test scaler_test thumb_cache_test

# The mutant sweep (not part of `make test`): writes each fault listed in
# tools/mutants/mutants.txt into the code, rebuilds what it touches, runs the tests and
# restores the file. Fails when a fault goes uncaught. MUTANTS="a b" runs some.
mutants: build asan-build
	/usr/bin/python3 tools/mutants/mutants.py tools/mutants/mutants.txt $(BUILD) $(ASAN_BUILD) $(MUTANTS)

# The soak alone (make test runs it too): SOAK_EVENTS random events
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
	@for t in fuzz_split fuzz_load fuzz_names fuzz_mpf fuzz_boxes fuzz_thumb_record; do \
		echo "== $$t, $(SECONDS) s"; mkdir -p $(BUILD)/fuzz/$${t}_corpus; \
		$(BUILD)/fuzz/$$t -max_total_time=$(SECONDS) -rss_limit_mb=4096 -print_final_stats=1 \
			$(abspath $(BUILD))/fuzz/$${t}_corpus $(abspath $(BUILD))/fixtures > $(BUILD)/fuzz/$$t.log 2>&1; status=$$?; \
		grep -E 'number_of_executed_units|average_exec|ERROR|SUMMARY|Test unit written' $(BUILD)/fuzz/$$t.log; \
		[ $$status -eq 0 ] || exit 1; \
	done

# The Debian package, $(BUILD)/package/orvale-viewer_<version>_<arch>.deb, and
# beside it, when the Windows build is there, the Windows zip and the per-user
# installer made from the same files (tools/build/make_windows_package.sh).
package: build
	tools/build/make_deb.sh $(BUILD)
	@if [ ! -f $(WIN_BUILD)/orvale-viewer.exe ]; then echo "No $(WIN_BUILD)/orvale-viewer.exe: no Windows packages"; \
	else tools/build/install_deps.sh windows && tools/build/make_windows_package.sh $(WIN_BUILD)/orvale-viewer.exe \
		"$$(tools/build/windows_deps.sh | tail -1)" $(BUILD)/package; fi

# Builds the libraries of the Windows program (FreeImage, libjpeg-turbo,
# libpng, zlib, GoogleTest) from Debian's source packages with MinGW-w64, once
# per script version and package versions, and prints their folder last.
windows-deps:
	@tools/build/windows_deps.sh

# What the Windows build, its installer and its tests need besides the Linux
# set: MinGW-w64, NSIS and Wine.
deps-windows:
	@tools/build/install_deps.sh windows

# The Windows program, cross-built with MinGW-w64 from the same tree:
# $(WIN_BUILD)/orvale-viewer.exe with help.html beside it. FreeImage, libjpeg,
# libpng and GoogleTest are built for it from Debian's source packages, once,
# into a cache that tools/build/windows_deps.sh prints the place of.
windows: deps-windows
	@prefix=$$(tools/build/windows_deps.sh | tail -1) && [ -d "$$prefix" ] && \
	cmake -S . -B $(WIN_BUILD) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DCMAKE_BUILD_TYPE=Release \
		-DORVALE_WERROR=ON -DORVALE_BENCH=OFF -DORVALE_WIN_DEPS="$$prefix"
	cmake --build $(WIN_BUILD) -j $(JOBS) --target orvale-viewer

# The Windows tests under Wine, in a Wine prefix of their own inside
# $(WIN_BUILD): the unit tests that build for Windows and the end-to-end suite
# on the .exe (whose samples come from the Linux build's generator). One
# wineserver serves the whole run and is ended however the tests went.
test-windows: windows build
	cmake --build $(WIN_BUILD) -j $(JOBS)
	tools/build/wine.sh $(WIN_PREFIX) start
	ctest --test-dir $(WIN_BUILD) --output-on-failure; status=$$?; \
		tools/build/wine.sh $(WIN_PREFIX) stop; exit $$status

# The Windows faults in tools/mutants/mutants-windows.txt, caught by the tests under
# Wine (not part of `make test-windows`). MUTANTS="a b" runs some.
mutants-windows: windows build
	tools/build/wine.sh $(WIN_PREFIX) start
	/usr/bin/python3 tools/mutants/mutants.py tools/mutants/mutants-windows.txt $(WIN_BUILD) $(WIN_BUILD)/no-sanitizer-build \
		$(MUTANTS); status=$$?; tools/build/wine.sh $(WIN_PREFIX) stop; exit $$status

# Regenerates the built-in fonts and pictures under render/assets/.
assets: deps
	/usr/bin/python3 tools/assets/make_assets.py render/assets

test-unit: build
	ctest --test-dir $(BUILD) --output-on-failure -L unit

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(TSAN_BUILD) $(CLANG_BUILD) $(WIN_BUILD)
