# The README's commands. Each one first makes sure the Debian packages are there.
BUILD ?= build
JOBS ?= $(shell nproc)

.PHONY: all deps build run demo test unit desktop flaky bench soak clean

all: build

deps:
	@scripts/install-deps

build: deps
	@cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
	@cmake --build $(BUILD) -j $(JOBS)

run: build
	@scripts/run

demo: build
	@scripts/demo

test: build
	@cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

unit: build
	@cd $(BUILD) && ctest --output-on-failure -j $(JOBS) -L unit

desktop: build
	@cd $(BUILD) && ctest --output-on-failure -L desktop

# Repeats the desktop tests until one fails, to hunt flaky ones: make flaky N=20
N ?= 10
flaky: build
	@cd $(BUILD) && ctest --output-on-failure -L desktop --repeat until-fail:$(N)

# make bench SHORT=1 takes the quick pass.
bench: build
	@scripts/install-deps bench
	@bench/run $(BUILD) $(if $(SHORT),--short)

# Ten minutes of random pointer tour over the keyboard: make soak SOAK_SECONDS=60
SOAK_SECONDS ?= 600
soak: build
	@KELVO_BUILD=$(abspath $(BUILD)) PYTHONPATH=tests/desktop \
	  scripts/virtual-desktop --no-wm-keys -- python3 tests/desktop/soak.py --seconds $(SOAK_SECONDS)

clean:
	rm -rf $(BUILD)
