# make run: build and start the program on a demo registry.
# make test: build both targets and run every test.
# make package: build $(WIN_DIR)/TavikRegistryCleaner-<version>-x64.msi;
#   SIGN_PFX=file.pfx SIGN_PASS=password [SIGN_TS=time-stamp URL] signs it.
JOBS ?= $(shell nproc)
HOST_DIR := build/host
WIN_DIR := build/win64
# Read by packaging/build-msi.sh from the environment.
export SIGN_PFX SIGN_PASS SIGN_TS

.PHONY: all deps host win64 test test-host test-wine run package bench fuzz clean

all: host win64

deps:
	@tools/install-deps.sh

host: deps
	@cmake -S . -B $(HOST_DIR) -DTAVIK_SANITIZE=ON >/dev/null
	@cmake --build $(HOST_DIR) -j $(JOBS)

win64: deps
	@cmake -S . -B $(WIN_DIR) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake >/dev/null
	@cmake --build $(WIN_DIR) -j $(JOBS)

test-host: host
	@cd $(HOST_DIR) && ctest --output-on-failure -j $(JOBS)

test-wine: win64
	@cd $(WIN_DIR) && ctest --output-on-failure -j $(JOBS)

test: test-host test-wine

run: win64
	@TAVIK_BIN_DIR=$(abspath $(WIN_DIR))/bin tools/demo-run.sh

package: win64
	@cmake --build $(WIN_DIR) --target tavik_package

bench:
	@tools/install-deps.sh --bench
	@cmake -S . -B build/bench -DTAVIK_BENCH=ON -DCMAKE_BUILD_TYPE=Release >/dev/null
	@cmake --build build/bench -j $(JOBS)
	@tools/run-benchmarks.sh

fuzz:
	@tools/install-deps.sh --fuzz
	@tools/run-fuzzers.sh

clean:
	rm -rf build
