# Front door. `make test` is what CI runs.
JOBS ?= 2
B := build

.PHONY: all check host asan exe e2e run test fuzz fuzz-short bench deps-host deps-mingw deps-wine deps-fuzz clean

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

test: check exe

clean:
	rm -rf $(B)
