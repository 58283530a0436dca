# Front door. `make test` is what CI runs.
JOBS ?= 2
B := build

.PHONY: all check host asan exe dist release-check e2e e2e-x86_64 e2e-i686 run test fuzz fuzz-short \
  fuzz-build bench deps-host deps-mingw deps-wine deps-wine32 deps-fuzz clean

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

# End to end: the real kelvarin.exe under Wine on Xvfb, operated as a person
# would, against the simulated drives of a test ASPI library. Both builds by
# default; `make e2e ARCH=i686` runs only the release build, under 32-bit
# Wine emulated by qemu-i386 (a few times slower: its time limits are scaled
# by E2E_TIME_FACTOR_i686 and it runs the scenarios where 32 bits matter).
ARCH ?= x86_64 i686
WINE32 := $(B)/wine32
CC32 ?= i686-linux-gnu-gcc
E2E_TIME_FACTOR_i686 ?= 5
# 32-bit Linux libraries the emulated Wine preloads: the trap-number repair,
# and whatever else is added here (built with $(CC32)).
WINE32_PRELOAD = $(WINE32)/trapno.so $(WINE32_EXTRA_PRELOAD)

e2e: $(addprefix e2e-,$(ARCH))

e2e-x86_64: deps-wine exe
	python3 e2e/run.py --build $(B)/x86_64 --cache $(B)/e2e

e2e-i686: deps-wine32 exe $(WINE32_PRELOAD)
	python3 e2e/run.py --build $(B)/i686 --cache $(B)/e2e --set i686 \
	  --wine $(WINE32)/root/usr/lib/wine/wine-qemu --wineserver /usr/lib/wine/wineserver64 \
	  --winearch win32 $(addprefix --preload ,$(WINE32_PRELOAD)) \
	  --time-factor $(E2E_TIME_FACTOR_i686)

$(WINE32)/trapno.so: e2e/wine32/trapno.c | deps-wine32
	$(CC32) -shared -fPIC -O2 -Wall -Wextra -Werror -o $@ $<

# The real program with two simulated drives: on $$DISPLAY, or on Xvfb with a
# screenshot when there is no display.
run: deps-mingw deps-wine
	cmake -S . -B $(B)/x86_64 -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-x86_64-mingw.cmake -DCMAKE_BUILD_TYPE=MinSizeRel
	cmake --build $(B)/x86_64 -j$(JOBS) --target kelvarin wnaspi32 e2edriver
	python3 e2e/run.py --build $(B)/x86_64 --cache $(B)/e2e --interactive

test: check exe release-check e2e fuzz-short

clean:
	rm -rf $(B)
