# Thin wrapper over CMake. Every target installs what it needs first.
BUILD    ?= build
JOBS     ?= $(shell nproc)
CMAKE_FLAGS ?=
PORT     ?= 8080
# Seconds each fuzz target runs: in `make fuzz`, and as the smoke run of `make test`.
FUZZ_SECONDS       ?= 60
FUZZ_SMOKE_SECONDS ?= 4

DEMO_ROOT   := $(CURDIR)/$(BUILD)/demo-root
DEMO_BUILD  := $(BUILD)/demo
DEMO_SERVER := $(CURDIR)/$(BUILD)/demo-server

# The production program is linked statically (README, Performance). The
# targets that only build programs leave the test suites out, so that they
# need none of the test tools on a fresh machine; make test turns them on.
HOST_FLAGS := -DAPPLIANCE_ROOT= -DWEBCFG_STATIC=ON $(CMAKE_FLAGS)

ARMHF_BUILD   := $(BUILD)/armhf
ARMHF_SYSROOT := $(CURDIR)/$(BUILD)/armhf-sysroot
ARMHF_FLAGS   := -DCMAKE_TOOLCHAIN_FILE=$(CURDIR)/cmake/armhf.cmake \
                 -DWEBCFG_ARMHF_SYSROOT=$(ARMHF_SYSROOT) -DAPPLIANCE_ROOT= \
                 -DWEBCFG_STATIC=ON -DWEBCFG_TESTS=OFF

FUZZ_BUILD := $(BUILD)/fuzz

.PHONY: all build build-armhf test bench fuzz fuzz-build run demo-reset fleet-demo deps clean

all: build

build:
	scripts/install-deps.sh build
	cmake -S . -B $(BUILD) $(HOST_FLAGS) -DWEBCFG_TESTS=OFF
	cmake --build $(BUILD) -j $(JOBS) --target webcfg state boot

# The appliance program for 32-bit ARM with hard float, plus the programs
# that make test runs under qemu-arm.
build-armhf:
	WEBCFG_ARMHF_SYSROOT=$(ARMHF_SYSROOT) scripts/install-deps.sh armhf
	cmake -S . -B $(ARMHF_BUILD) $(ARMHF_FLAGS)
	cmake --build $(ARMHF_BUILD) -j $(JOBS) --target webcfg webcfg_sandbox state state_sandbox boot boot_sandbox gb2312_check

# The browser tests need the pinned node packages; npm ci reinstalls them
# only when the lock file changed.
node_modules/.package-lock.json: package.json package-lock.json
	npm ci --no-audit --no-fund
	@touch $@

# Everything is installed in one go, so a fresh machine updates apt once.
test:
	WEBCFG_ARMHF_SYSROOT=$(ARMHF_SYSROOT) scripts/install-deps.sh build test web fuzz armhf fleet
	$(MAKE) build-armhf
	$(MAKE) node_modules/.package-lock.json
	cmake -S . -B $(BUILD) $(HOST_FLAGS) -DWEBCFG_TESTS=ON -DWEBCFG_CROSS_BUILD=$(CURDIR)/$(ARMHF_BUILD)
	cmake --build $(BUILD) -j $(JOBS)
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)
	@echo "== the same suites under AddressSanitizer and UndefinedBehaviorSanitizer"
	cmake -S . -B $(BUILD)/sanitize -DAPPLIANCE_ROOT= -DWEBCFG_SANITIZE=ON -DWEBCFG_WEB_TESTS=OFF \
	      -DWEBCFG_FLEET_TESTS=OFF $(CMAKE_FLAGS)
	cmake --build $(BUILD)/sanitize -j $(JOBS)
	# The boundary walk of every setting and the kills of a change set are
	# about values and the file system, and ran above; under the sanitizers
	# they would only cost minutes (the fuzz targets check the same code).
	cd $(BUILD)/sanitize && ctest --output-on-failure -j $(JOBS) -E '^(Sections/|ChangeSets\.Killed)'
	@echo "== every fuzz target for $(FUZZ_SMOKE_SECONDS) s"
	$(MAKE) fuzz-build
	scripts/fuzz-run.sh $(FUZZ_BUILD) $(FUZZ_SMOKE_SECONDS)

# libFuzzer targets (fuzz/), built by clang with AddressSanitizer and
# UndefinedBehaviorSanitizer; each runs for FUZZ_SECONDS, and a crash or
# sanitizer report fails the run (reproducers in $(FUZZ_BUILD)/fuzz-work/).
fuzz: fuzz-build
	scripts/fuzz-run.sh $(FUZZ_BUILD) $(FUZZ_SECONDS)

fuzz-build:
	scripts/install-deps.sh build fuzz
	cmake -S . -B $(FUZZ_BUILD) -DCMAKE_CXX_COMPILER=clang++ -DAPPLIANCE_ROOT= \
	      -DWEBCFG_FUZZ=ON -DWEBCFG_TESTS=OFF $(CMAKE_FLAGS)
	cmake --build $(FUZZ_BUILD) -j $(JOBS)

# Per-request cost of the program against a floor, printed as one table.
bench: build-armhf
	scripts/install-deps.sh build bench
	cmake -S . -B $(BUILD) $(HOST_FLAGS) -DWEBCFG_TESTS=OFF
	cmake --build $(BUILD) -j $(JOBS) --target webcfg webcfg_sandbox state state_sandbox
	cmake -S . -B $(BUILD)/dynamic -DAPPLIANCE_ROOT= -DWEBCFG_STATIC=OFF -DWEBCFG_TESTS=OFF $(CMAKE_FLAGS)
	cmake --build $(BUILD)/dynamic -j $(JOBS) --target webcfg webcfg_sandbox
	cmake -S bench -B $(BUILD)/bench
	cmake --build $(BUILD)/bench -j $(JOBS)
	$(BUILD)/bench/webcfg-bench --work $(BUILD)/bench/work --seed scripts/demo-seed.sh \
	  --program $(BUILD)/webcfg-sandbox.cgi --dynamic-program $(BUILD)/dynamic/webcfg-sandbox.cgi \
	  --state-program $(BUILD)/state-sandbox.cgi \
	  --floor $(BUILD)/bench/floor \
	  --size static=$(BUILD)/webcfg.cgi --size dynamic=$(BUILD)/dynamic/webcfg.cgi \
	  --size state=$(BUILD)/state.cgi \
	  --size armhf=$(ARMHF_BUILD)/webcfg.cgi $(BENCH_FLAGS)

# The pages and the CGI on http://127.0.0.1:$(PORT)/ (the next free port
# when it is taken), over a demo appliance root that is kept between runs.
run:
	scripts/install-deps.sh build demo
	cmake -S . -B $(DEMO_BUILD) -DAPPLIANCE_ROOT=$(DEMO_ROOT) -DWEBCFG_TESTS=OFF
	cmake --build $(DEMO_BUILD) -j $(JOBS) --target webcfg state boot
	@[ -f $(DEMO_ROOT)/mnt/autorun.sh ] || scripts/demo-seed.sh $(DEMO_ROOT)
	scripts/demo-serve.sh $(DEMO_ROOT) $(DEMO_BUILD)/webcfg.cgi web $(DEMO_SERVER) $(PORT)

# The sample playbooks against FLEET_SIZE simulated devices on loopback ports
# from 18400 on, stopped again at the end (README, Fleet).
FLEET_SIZE ?= 20
FLEET_DIR  := $(CURDIR)/$(BUILD)/fleet
fleet-demo:
	scripts/install-deps.sh build fleet
	cmake -S . -B $(BUILD) $(HOST_FLAGS) -DWEBCFG_TESTS=OFF
	cmake --build $(BUILD) -j $(JOBS) --target webcfg_sandbox state_sandbox
	scripts/fleet-demo.sh $(BUILD) $(FLEET_DIR) $(FLEET_SIZE)

# Puts the demo root back to its seeded state.
demo-reset:
	scripts/demo-seed.sh $(DEMO_ROOT)

clean:
	rm -rf $(BUILD)
