# Front door. `make test` is what CI runs.
JOBS ?= 2
B := build

.PHONY: all check host asan exe e2e run test faults fuzz fuzz-short fuzz-build bench deps-host deps-mingw deps-wine deps-fuzz clean

all: check

deps-host:  ; @tools/install-deps.sh host
deps-mingw: ; @tools/install-deps.sh mingw
deps-wine:  ; @tools/install-deps.sh wine
deps-fuzz:  ; @tools/install-deps.sh fuzz

# Host build against the simulated Windows, then the suite; then the same
# suite under AddressSanitizer and UndefinedBehaviorSanitizer.
host: deps-host
	cmake -S . -B $(B)/host -DCMAKE_BUILD_TYPE=Debug
	cmake --build $(B)/host -j$(JOBS)
	ctest --test-dir $(B)/host --output-on-failure -j$(JOBS)

asan: deps-host
	cmake -S . -B $(B)/asan -DCMAKE_BUILD_TYPE=Debug -DKELVARIN_SANITIZE=ON
	cmake --build $(B)/asan -j$(JOBS) --target kelvarin_tests
	ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	  ctest --test-dir $(B)/asan --output-on-failure -j$(JOBS)

check: host asan

# The Windows builds: i686 is the release, x86_64 runs under Wine here.
exe: deps-mingw
	cmake -S . -B $(B)/i686 -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-i686-mingw.cmake -DCMAKE_BUILD_TYPE=MinSizeRel
	cmake --build $(B)/i686 -j$(JOBS)
	cmake -S . -B $(B)/x86_64 -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-x86_64-mingw.cmake -DCMAKE_BUILD_TYPE=MinSizeRel
	cmake --build $(B)/x86_64 -j$(JOBS)

# Fuzz targets (clang, libFuzzer, ASan, UBSan) from the seeds in fuzz/corpus:
# `make fuzz` runs each for FUZZ_SECONDS, `make fuzz-short` for a few seconds.
FUZZ_SECONDS ?= 60
FUZZ_SHORT_SECONDS ?= 4
fuzz-build: deps-host deps-fuzz
	cmake -S . -B $(B)/fuzz -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
	  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKELVARIN_SANITIZE=ON -DKELVARIN_FUZZ=ON
	cmake --build $(B)/fuzz -j$(JOBS) --target fuzz_targets

fuzz: fuzz-build
	fuzz/run.sh $(B)/fuzz $(FUZZ_SECONDS)

fuzz-short: fuzz-build
	fuzz/run.sh $(B)/fuzz $(FUZZ_SHORT_SECONDS)

# Benchmarks: platform calls and commands per action, host time, detection
# overhead, the release exe, start-up under Wine. Rewrites docs/PERFORMANCE.md.
bench: deps-host deps-mingw deps-wine exe
	bench/run.sh $(B)

# End to end: the real x86_64 kelvarin.exe under Wine on Xvfb, operated as a
# person would, against the simulated drives of a test ASPI library.
e2e: deps-wine exe
	python3 e2e/run.py --build $(B)/x86_64 --cache $(B)/e2e

# The real program with two simulated drives: on $$DISPLAY, or on Xvfb with a
# screenshot when there is no display.
run: deps-mingw deps-wine
	cmake -S . -B $(B)/x86_64 -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-x86_64-mingw.cmake -DCMAKE_BUILD_TYPE=MinSizeRel
	cmake --build $(B)/x86_64 -j$(JOBS) --target kelvarin wnaspi32 e2edriver
	python3 e2e/run.py --build $(B)/x86_64 --cache $(B)/e2e --interactive

test: check exe e2e fuzz-short

# Deliberate faults from tests/faults/catalogue.txt, each in a scratch copy
# against the suite that must catch it. Not part of test: it takes minutes.
faults: deps-host deps-mingw deps-wine
	python3 tools/faults.py --build $(B)

clean:
	rm -rf $(B)
