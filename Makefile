# The README's commands. Each one first makes sure the Debian packages it
# needs are there: make build and make run only what building and running
# need, make test what every test needs (scripts/install-deps says which).
BUILD ?= build
JOBS ?= $(shell nproc)
# The Debian releases Kelvo is tested on, oldest first. make test runs the
# unit and desktop tests here and in a fresh root of each of the others.
TESTED_RELEASES := 12 13 14
# This machine's Debian release: its number, or for testing, which has only a
# code name until it is released, the number Debian's table of releases
# (distro-info-data) gives that name, else the newest tested one. Empty on
# another system.
HOST_RELEASE := $(shell . /etc/os-release 2>/dev/null && [ "$$ID" = debian ] && \
  { [ -n "$$VERSION_ID" ] && echo "$$VERSION_ID" || \
    sed -n "s/^\([0-9][0-9]*\),[^,]*,$$VERSION_CODENAME,.*/\1/p" /usr/share/distro-info/debian.csv 2>/dev/null | \
    grep . || echo $(lastword $(TESTED_RELEASES)); })
OTHER_RELEASES := $(filter-out $(HOST_RELEASE),$(TESTED_RELEASES))
# A package built on the oldest release runs on every later one; one built
# on a newer release needs its libraries, so it is tried there alone.
PACKAGE_RELEASES := $(if $(filter $(firstword $(TESTED_RELEASES)),$(HOST_RELEASE)),$(TESTED_RELEASES),$(HOST_RELEASE))
# The release the Windows programs are built on: its Qt source builds for
# Windows (Debian 13's Qt 6.8.2 does not, without Direct2D, and Debian 14
# has no Wine), so on any other machine they are built and tried in a root of it.
WINDOWS_RELEASE := 12

# make test runs every test: one that would skip for want of a tool fails.
export KELVO_NO_SKIPS
# Warnings in Kelvo's own code stop every build made here.
CONFIGURE = -G Ninja -DKELVO_WERROR=ON

.PHONY: all deps deps-test deps-all deps-windows build run demo test tested-host check other-releases unit desktop flaky bench soak clean package package-check windows windows-core windows-test windows-qt

all: build

deps:
	@scripts/install-deps

deps-test:
	@scripts/install-deps test

deps-all:
	@scripts/install-deps all

deps-windows:
	@scripts/install-deps windows

build: deps
	@cmake -S . -B $(BUILD) $(CONFIGURE) -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
	@cmake --build $(BUILD) -j $(JOBS)

run: build
	@scripts/run

demo: build
	@scripts/demo

# Everything: the unit and desktop tests here, the sanitizers, the fuzz
# targets, the Debian package, the unit and desktop tests again inside a
# fresh root of each other tested release, and the Windows programs under
# Wine. Each stage is timed, and one that fails does not stop the others
# (scripts/test-stages). The Qt for Windows, the longest build by far, is
# made beside the stages from the start at the lowest priority, in the time
# they leave the processor idle; the Windows stage comes last to give it
# the most.
test: tested-host deps-all
	@scripts/test-stages --log-dir $(BUILD)/test-logs --background windows-qt:windows-test \
	  check sanitize fuzz-check package-check $(addprefix release-,$(OTHER_RELEASES)) windows-test

# Before anything is installed: the stages take this machine for one of the
# tested releases.
tested-host:
	@$(if $(filter $(HOST_RELEASE),$(TESTED_RELEASES)),,\
	  echo "make test: this is $$(. /etc/os-release 2>/dev/null; echo "$${PRETTY_NAME:-a system without /etc/os-release}");" \
	    "it runs on Debian $(TESTED_RELEASES) only" >&2; exit 2)
	@:

# The unit and desktop tests alone.
check: deps-test build
	@cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

# make check inside a fresh root of another Debian release
# (scripts/debian-root), built there into build-debianN: make release-13.
# other-releases does it for each tested release but this machine's.
other-releases: $(addprefix release-,$(OTHER_RELEASES))

release-%: deps-all
	@scripts/debian-root $* -- \
	  make --no-print-directory BUILD=build-debian$* KELVO_NO_SKIPS=$(KELVO_NO_SKIPS) JOBS=$(JOBS) check

unit: build
	@cd $(BUILD) && ctest --output-on-failure -j $(JOBS) -L unit

desktop: deps-test build
	@cd $(BUILD) && ctest --output-on-failure -L desktop

# Repeats the desktop tests until one fails, to hunt flaky ones: make flaky N=20
N ?= 10
flaky: deps-test build
	@cd $(BUILD) && ctest --output-on-failure -L desktop --repeat until-fail:$(N)

# make bench SHORT=1 takes the quick pass.
bench: build
	@scripts/install-deps bench
	@bench/run $(BUILD) $(if $(SHORT),--short)

# Ten minutes of random pointer tour over the keyboard: make soak SOAK_SECONDS=60
SOAK_SECONDS ?= 600
soak: deps-test build
	@KELVO_BUILD=$(abspath $(BUILD)) PYTHONPATH=tests/desktop \
	  scripts/virtual-desktop --no-wm-keys -- python3 tests/desktop/soak.py --seconds $(SOAK_SECONDS)

# The unit tests built again with AddressSanitizer and UndefinedBehaviorSanitizer
# (gcc); only what they need is built.
.PHONY: sanitize fuzz fuzz-check fuzz-build
SANITIZE_BUILD ?= build-asan
SANITIZE_FLAGS = -O1 -fno-omit-frame-pointer -fsanitize=address,undefined -fno-sanitize-recover=all
sanitize: deps-all
	@cmake -S . -B $(SANITIZE_BUILD) $(CONFIGURE) -DCMAKE_BUILD_TYPE=Debug \
	  -DCMAKE_CXX_FLAGS="$(SANITIZE_FLAGS)" >/dev/null
	@cmake --build $(SANITIZE_BUILD) -j $(JOBS) --target kelvo_unit_tests fuzz_replays kelvo_guide
	@cd $(SANITIZE_BUILD) && \
	  ASAN_OPTIONS=detect_stack_use_after_return=1:strict_init_order=1 \
	  UBSAN_OPTIONS=print_stacktrace=1 ctest --output-on-failure -j $(JOBS) -L unit

# libFuzzer (clang) over the key-string parser and the other inputs in
# tests/fuzz. make fuzz runs each target FUZZ_SECONDS and keeps the new inputs
# that reach new code in tests/fuzz/corpus; make test runs each briefly.
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 600
FUZZ_CHECK_SECONDS ?= 30
fuzz-build: deps-all
	@cmake -S . -B $(FUZZ_BUILD) $(CONFIGURE) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DCMAKE_CXX_COMPILER=clang++ -DKELVO_FUZZ=ON \
	  -DCMAKE_CXX_FLAGS="-fno-omit-frame-pointer -fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all" >/dev/null
	@cmake --build $(FUZZ_BUILD) -j $(JOBS) --target fuzzers

fuzz: fuzz-build
	@tests/fuzz/run $(FUZZ_BUILD) $(FUZZ_SECONDS) --grow

fuzz-check: fuzz-build
	@tests/fuzz/run $(FUZZ_BUILD) $(FUZZ_CHECK_SECONDS)

# The Debian package, $(BUILD)/kelvo_VERSION_ARCH.deb: a build of its own,
# for /usr and with Debian's compiler and linker flags, packed by CPack; only
# what is installed is built.
PACKAGE_BUILD ?= build-deb
package: deps-all
	@export DEB_BUILD_MAINT_OPTIONS=hardening=+all; \
	  CXXFLAGS="$$(dpkg-buildflags --get CXXFLAGS) $$(dpkg-buildflags --get CPPFLAGS)" \
	  LDFLAGS="$$(dpkg-buildflags --get LDFLAGS)" \
	  cmake -S . -B $(PACKAGE_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=None -DCMAKE_INSTALL_PREFIX=/usr \
	  -DKELVO_TESTS=OFF >/dev/null
	@cmake --build $(PACKAGE_BUILD) -j $(JOBS) --target kelvo kelvo_compressed_docs kelvo_guide
	@cd $(PACKAGE_BUILD) && cpack -G DEB >/dev/null
	@mkdir -p $(BUILD) && rm -f $(BUILD)/kelvo_*.deb && cp $(PACKAGE_BUILD)/kelvo_*.deb $(BUILD)/
	@ls $(BUILD)/kelvo_*.deb

# The package checked by lintian, installed into a fresh root of each
# release it is for (every tested one when built on the oldest, else this
# machine's own), started from its menu entry on a virtual desktop, and
# purged again.
package-check: package
	@for release in $(PACKAGE_RELEASES); do \
	  KELVO_BUILD=$(abspath $(BUILD)) KELVO_SOURCE=$(CURDIR) PYTHONPATH=tests/desktop:tests/packaging \
	    scripts/virtual-desktop -- python3 tests/packaging/test_package.py $(BUILD)/kelvo_*.deb $$release || exit 1; \
	done

# Windows, cross-compiled with mingw-w64. make windows builds kelvo.exe,
# kelvo-sendkeys.exe and the installer KelvoSetup.exe in build-win; the first
# time, it builds a static Qt for Windows from Debian's own source (about 20
# minutes on two cores; make windows-qt builds that alone), kept in the
# user's cache for every later build. windows-core builds the backends that
# need no Qt, and the programs that try them, in build-win-core;
# windows-test runs all of them under Wine. On a machine of another release
# each of these runs in a fresh root of the one they are built on, which
# shares the cache with this machine, so the Qt is built once per machine.
WIN_BUILD ?= build-win
WIN_CORE_BUILD ?= build-win-core
WIN_TOOLCHAIN = $(abspath cmake/mingw-w64-x86_64.cmake)
QT_CACHE = $(or $(KELVO_QT_CACHE),$(or $(XDG_CACHE_HOME),$(HOME)/.cache)/kelvo)
ifeq ($(HOST_RELEASE),$(WINDOWS_RELEASE))
windows-core: deps-windows
	@cmake -S . -B $(WIN_CORE_BUILD) $(CONFIGURE) -DCMAKE_BUILD_TYPE=Release \
	  -DCMAKE_TOOLCHAIN_FILE=$(WIN_TOOLCHAIN) -DKELVO_WIN_BACKENDS_ONLY=ON >/dev/null
	@cmake --build $(WIN_CORE_BUILD) -j $(JOBS)

windows-qt: deps-windows
	@JOBS=$(JOBS) scripts/build-qt-mingw

# Qt's own toolchain file finds that Qt and the build machine's moc and rcc,
# and goes on to ours (as qt-cmake does).
windows: deps-windows
	@qt=$$(JOBS=$(JOBS) scripts/build-qt-mingw) && qt=$$(printf '%s\n' "$$qt" | tail -n 1) && \
	  cmake -S . -B $(WIN_BUILD) $(CONFIGURE) -DCMAKE_BUILD_TYPE=Release \
	    -DCMAKE_TOOLCHAIN_FILE="$$qt/lib/cmake/Qt6/qt.toolchain.cmake" \
	    -DQT_CHAINLOAD_TOOLCHAIN_FILE=$(WIN_TOOLCHAIN) >/dev/null
	@cmake --build $(WIN_BUILD) -j $(JOBS)

windows-test: windows-core windows
	@KELVO_WIN_CORE_BUILD=$(abspath $(WIN_CORE_BUILD)) KELVO_WIN_BUILD=$(abspath $(WIN_BUILD)) \
	  PYTHONPATH=tests/desktop:tests/windows scripts/virtual-desktop -- \
	  python3 -m unittest test_win_backends test_win_kelvo test_win_installer
else
# The network stays for the Qt source; the tests' servers pick free
# displays, as on the machine itself.
windows-core windows windows-test windows-qt: deps-all
	@mkdir -p $(QT_CACHE)
	@scripts/debian-root --network --deps windows --share $(QT_CACHE) $(WINDOWS_RELEASE) -- \
	  env KELVO_QT_CACHE=$(QT_CACHE) make --no-print-directory KELVO_NO_SKIPS=$(KELVO_NO_SKIPS) \
	  JOBS=$(JOBS) WIN_BUILD=$(WIN_BUILD) WIN_CORE_BUILD=$(WIN_CORE_BUILD) $@
endif

# Every build directory the targets above make (the Qt for Windows and the
# Debian roots stay in the cache).
clean:
	rm -rf $(BUILD) build-debian[0-9]* $(SANITIZE_BUILD) $(FUZZ_BUILD) $(PACKAGE_BUILD) $(WIN_BUILD) $(WIN_CORE_BUILD)
