# Front door. `make test` is what CI runs.
JOBS ?= 2
B := build
# Each build is a preset of CMakePresets.json, in $(B)/PRESET.
configure = cmake --preset $(1) -B $(B)/$(1) $(2)

.PHONY: all check host asan exe e2e-pieces-x86_64 e2e-pieces-i686 sgdrive sgdrive-i686 dist release-check e2e e2e-x86_64 e2e-i686 run \
  test setup-check faults fuzz fuzz-short fuzz-build bench deps-host deps-mingw deps-wine deps-wine32 deps-fuzz clean

all: check

deps-host:  ; @tools/install-deps.sh host
deps-mingw: ; @tools/install-deps.sh mingw
deps-wine:  ; @tools/install-deps.sh wine
deps-fuzz:  ; @tools/install-deps.sh fuzz
# 32-bit Wine under qemu-i386 in a private root (no change to the machine's
# apt sources or dpkg architectures), and the i686 Linux compiler.
deps-wine32: deps-wine
	@tools/install-deps.sh wine32
	@tools/wine32-root.sh $(WINE32)

# The 32-bit Wine set-up with its security source at a path the registry does
# not have: indexes and resolution only (seconds), in a scratch directory.
setup-check: deps-wine
	@tools/setup-check.sh $(B)/setup-check

# Host build against the simulated Windows, then the suite; then the same
# suite under AddressSanitizer and UndefinedBehaviorSanitizer.
host: deps-host
	$(call configure,host)
	cmake --build $(B)/host -j$(JOBS)
	ctest --test-dir $(B)/host --output-on-failure -j$(JOBS)

asan: deps-host
	$(call configure,asan)
	cmake --build $(B)/asan -j$(JOBS) --target kelvarin_tests
	ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	  ctest --test-dir $(B)/asan --output-on-failure -j$(JOBS)

check: host asan

# The Windows builds: i686 is the release, x86_64 runs under Wine here.
# Only the program; the end-to-end pieces come with e2e-pieces-ARCH.
exe: deps-mingw
	$(call configure,i686)
	cmake --build $(B)/i686 -j$(JOBS) --target kelvarin
	$(call configure,x86_64)
	cmake --build $(B)/x86_64 -j$(JOBS) --target kelvarin

# The test ASPI library and the driver beside the program, for the Wine runs.
E2E_TARGETS := kelvarin wnaspi32 wnaspi32_planted e2edriver
e2e-pieces-x86_64 e2e-pieces-i686: e2e-pieces-%: deps-mingw
	$(call configure,$*,-DKELVARIN_E2E=ON)
	cmake --build $(B)/$* -j$(JOBS) --target $(E2E_TARGETS)

# The release from the 32-bit build: dist/kelvarin-VERSION-win32.zip (the
# exe and the users' readme), the exe beside it and SHA256SUMS. Zip times
# come from the last commit, so the same sources give the same bytes.
SOURCE_DATE_EPOCH ?= $(shell git log -1 --format=%ct 2>/dev/null || echo 0)
export SOURCE_DATE_EPOCH
dist: exe
	rm -rf dist
	python3 release/dist.py --exe $(B)/i686/app/kelvarin.exe --out dist
	cat dist/SHA256SUMS

# The manifest inside both exes, the release tools, and two release builds
# in other directories compared byte for byte.
release-check: exe
	python3 release/checkmanifest.py $(B)/i686/app/kelvarin.exe $(B)/x86_64/app/kelvarin.exe
	KELVARIN_BUILD=$(B) python3 -m unittest release/test_release.py
	release/repro.sh $(B)/repro

# Fuzz targets (clang, libFuzzer, ASan, UBSan) from the seeds in fuzz/corpus:
# `make fuzz` runs each for FUZZ_SECONDS, `make fuzz-short` for a few seconds.
FUZZ_SECONDS ?= 60
FUZZ_SHORT_SECONDS ?= 4
fuzz-build: deps-host deps-fuzz
	$(call configure,fuzz)
	cmake --build $(B)/fuzz -j$(JOBS) --target fuzz_targets

fuzz: fuzz-build
	fuzz/run.sh $(B)/fuzz $(FUZZ_SECONDS)

fuzz-short: fuzz-build
	fuzz/run.sh $(B)/fuzz $(FUZZ_SHORT_SECONDS)

# Benchmarks: platform calls and commands per action, host time, detection
# overhead, the release exe, start-up under Wine. Rewrites docs/PERFORMANCE.md.
bench: deps-host deps-mingw deps-wine exe
	bench/run.sh $(B)

# The simulated drive below Wine, a Linux library preloaded into the program's
# Wine process. SGDRIVE_CC, SGDRIVE_CXX and SGDRIVE_FLAGS build it for another
# Wine, e.g. SGDRIVE_CC=i686-linux-gnu-gcc SGDRIVE_CXX=i686-linux-gnu-g++
# SGDRIVE_DIR=$(B)/sgdrive-i686 for a 32-bit one.
SGDRIVE_CC ?= gcc
SGDRIVE_CXX ?= g++
SGDRIVE_FLAGS ?=
SGDRIVE_DIR ?= $(B)/sgdrive
sgdrive: deps-host
	cmake -S e2e/sgdrive -B $(SGDRIVE_DIR) -DCMAKE_C_COMPILER=$(SGDRIVE_CC) \
	  -DCMAKE_CXX_COMPILER=$(SGDRIVE_CXX) -DCMAKE_C_FLAGS="$(SGDRIVE_FLAGS)" -DCMAKE_CXX_FLAGS="$(SGDRIVE_FLAGS)"
	cmake --build $(SGDRIVE_DIR) -j$(JOBS)

# The same library for the emulated 32-bit Wine.
CC32 ?= i686-linux-gnu-gcc
CXX32 ?= i686-linux-gnu-g++
SGDRIVE32_DIR := $(B)/sgdrive-i686
sgdrive-i686: deps-host deps-wine32
	cmake -S e2e/sgdrive -B $(SGDRIVE32_DIR) -DCMAKE_C_COMPILER=$(CC32) -DCMAKE_CXX_COMPILER=$(CXX32)
	cmake --build $(SGDRIVE32_DIR) -j$(JOBS)

# End to end: the real kelvarin.exe under Wine on Xvfb, operated as a person
# would, against the simulated drives of a test ASPI library and, on the
# pass-through route, of the library below Wine. Both builds by default;
# `make e2e ARCH=i686` runs only the release build, under 32-bit Wine
# emulated by qemu-i386 (a few times slower: its time limits are scaled by
# E2E_TIME_FACTOR_i686 and it runs the scenarios where 32 bits matter).
ARCH ?= x86_64 i686
WINE32 := $(B)/wine32
E2E_TIME_FACTOR_i686 ?= 5

e2e: $(addprefix e2e-,$(ARCH))

e2e-x86_64: deps-wine exe e2e-pieces-x86_64 sgdrive
	python3 e2e/run.py --build $(B)/x86_64 --sgdrive $(SGDRIVE_DIR)/libsgdrive.so --cache $(B)/e2e

# Every 32-bit Wine process preloads the trap-number repair; the program's
# also preloads the simulated drive on the pass-through route.
e2e-i686: deps-wine32 exe e2e-pieces-i686 sgdrive-i686 $(WINE32)/trapno.so
	python3 e2e/run.py --build $(B)/i686 --sgdrive $(SGDRIVE32_DIR)/libsgdrive.so \
	  --cache $(B)/e2e --set i686 \
	  --wine $(WINE32)/root/usr/lib/wine/wine-qemu --wineserver /usr/lib/wine/wineserver64 \
	  --winearch win32 --preload $(WINE32)/trapno.so --time-factor $(E2E_TIME_FACTOR_i686)

$(WINE32)/trapno.so: e2e/wine32/trapno.c | deps-wine32
	$(CC32) -shared -fPIC -O2 -Wall -Wextra -Werror -o $@ $<

# The real program with two simulated drives: on $$DISPLAY, or on Xvfb with a
# screenshot when there is no display. ROUTE=passthrough puts them below Wine
# and lets the program take pass-through.
ROUTE ?= aspi
run: deps-mingw deps-wine e2e-pieces-x86_64 sgdrive
	python3 e2e/run.py --build $(B)/x86_64 --sgdrive $(SGDRIVE_DIR)/libsgdrive.so --cache $(B)/e2e \
	  --interactive --route $(ROUTE)

test: check exe release-check setup-check e2e fuzz-short

# Deliberate faults from tests/faults/catalogue.txt, each in a scratch copy
# against the suite that must catch it. Not part of test: it takes minutes.
faults: deps-host deps-mingw deps-wine
	python3 tools/faults.py --build $(B)

clean:
	rm -rf $(B)
