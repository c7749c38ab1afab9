# The two commands of the README:
#   make demo  - packs the bundled example product, installs it under Wine and shows what it did
#   make test  - every test: native (ASan/UBSan), Windows under Wine, end to end, fuzz smoke runs
#   make soak  - the long reliability runs (not in make test): 200 install/uninstall cycles, killed
#                runs, each fuzz target for 30 minutes; prints a summary
# Both first run scripts/setup.sh, which installs whatever a fresh Debian machine lacks.

BUILD      := build
NATIVE     := $(BUILD)/native
WIN32      := $(BUILD)/win32
FUZZ       := $(BUILD)/fuzz
PACKAGE    := $(BUILD)/package
JOBS       ?= $(shell nproc)
export HALBERD_WINEPREFIX ?= /opt/halberd-deps/wineprefix
export HALBERD_WINEPREFIX32 ?= /opt/halberd-deps/wineprefix32
export WINEDEBUG := -all
export WINEDLLOVERRIDES := mscoree,mshtml=
# ccache (installed by setup) keeps compiled objects across build folders and clones; paths are
# taken relative to the tree, so two clones share them.
LAUNCHER   := $(shell command -v ccache >/dev/null 2>&1 && echo -DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
export CCACHE_BASEDIR := $(CURDIR)
# Debug information names the build folder; without this every clone would miss the cache.
export CCACHE_NOHASHDIR := true

.PHONY: all setup native win32 build test test-native test-win32 test-e2e test-fuzz soak fuzz demo bench package clean

all: build

setup:
	@bash scripts/setup.sh

$(NATIVE)/build.ninja:
	cmake -S . -B $(NATIVE) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DHALBERD_STUB=$(CURDIR)/$(WIN32)/bin/halberd-setup.exe $(LAUNCHER)

$(WIN32)/build.ninja:
	cmake -S . -B $(WIN32) -G Ninja -DCMAKE_BUILD_TYPE=MinSizeRel -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake $(LAUNCHER)

# The Debian package of the pack tool: a build of its own without sanitizers or tests, with the
# stub of the Windows build.
$(PACKAGE)/build.ninja:
	cmake -S . -B $(PACKAGE) -G Ninja -DCMAKE_BUILD_TYPE=Release -DHALBERD_SANITIZE=OFF -DHALBERD_TESTS=OFF \
	  -DHALBERD_STUB=$(CURDIR)/$(WIN32)/bin/halberd-setup.exe $(LAUNCHER)

$(FUZZ)/build.ninja:
	CC=clang CXX=clang++ cmake -S . -B $(FUZZ) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DHALBERD_FUZZ=ON $(LAUNCHER)

native: setup $(NATIVE)/build.ninja
	ninja -C $(NATIVE) -j $(JOBS)

win32: setup $(WIN32)/build.ninja
	ninja -C $(WIN32) -j $(JOBS)

build: native win32

fuzz: setup $(FUZZ)/build.ninja
	ninja -C $(FUZZ) -j $(JOBS)

test: build fuzz
	@bash tests/run_all.sh

test-native: native
	cd $(NATIVE) && ctest --output-on-failure -j $(JOBS)

test-win32: win32
	@bash tests/run_all.sh win32

test-e2e: build
	@bash tests/run_all.sh e2e

test-fuzz: fuzz
	@bash tests/run_all.sh fuzz

# Hours, not minutes: 200 install and uninstall cycles, runs killed midway, and each fuzz target for
# 30 minutes, whose new finds join fuzz/corpus. Not part of make test.
soak: build fuzz
	@bash tests/soak.sh

package: win32 $(PACKAGE)/build.ninja
	ninja -C $(PACKAGE) -j $(JOBS) halberd-pack
	cd $(PACKAGE) && cpack -G DEB
	@ls $(PACKAGE)/*.deb

# The demo builds only the installer stub and the pack tool, not the test suites.
demo: setup $(NATIVE)/build.ninja $(WIN32)/build.ninja
	ninja -C $(WIN32) -j $(JOBS) halberd-setup
	ninja -C $(NATIVE) -j $(JOBS) halberd-pack
	@bash examples/demo.sh

# Halberd against NSIS on a deterministic payload; prints the side-by-side table (not a test).
bench: build
	@python3 bench/bench.py

clean:
	rm -rf $(BUILD)
