# Thin wrapper over CMake. Every target installs what it needs first.
BUILD    ?= build
JOBS     ?= $(shell nproc)
CMAKE_FLAGS ?=

DEMO_ROOT  := $(CURDIR)/$(BUILD)/demo-root
DEMO_BUILD := $(BUILD)/demo

# The production program is linked statically (README, Performance).
HOST_FLAGS := -DAPPLIANCE_ROOT= -DWEBCFG_STATIC=ON $(CMAKE_FLAGS)

ARMHF_BUILD   := $(BUILD)/armhf
ARMHF_SYSROOT := $(CURDIR)/$(BUILD)/armhf-sysroot
ARMHF_FLAGS   := -DCMAKE_TOOLCHAIN_FILE=$(CURDIR)/cmake/armhf.cmake \
                 -DWEBCFG_ARMHF_SYSROOT=$(ARMHF_SYSROOT) -DAPPLIANCE_ROOT= \
                 -DWEBCFG_STATIC=ON -DWEBCFG_TESTS=OFF

.PHONY: all build build-armhf test bench run deps clean

all: build

build:
	scripts/install-deps.sh build
	cmake -S . -B $(BUILD) $(HOST_FLAGS)
	cmake --build $(BUILD) -j $(JOBS) --target webcfg

# The appliance program for 32-bit ARM with hard float, plus the programs
# that make test runs under qemu-arm.
build-armhf:
	WEBCFG_ARMHF_SYSROOT=$(ARMHF_SYSROOT) scripts/install-deps.sh armhf
	cmake -S . -B $(ARMHF_BUILD) $(ARMHF_FLAGS)
	cmake --build $(ARMHF_BUILD) -j $(JOBS) --target webcfg webcfg_sandbox gb2312_check

test: build-armhf
	scripts/install-deps.sh build test
	cmake -S . -B $(BUILD) $(HOST_FLAGS) -DWEBCFG_CROSS_BUILD=$(CURDIR)/$(ARMHF_BUILD)
	cmake --build $(BUILD) -j $(JOBS)
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)
	@echo "== the same suites under AddressSanitizer and UndefinedBehaviorSanitizer"
	cmake -S . -B $(BUILD)/sanitize -DAPPLIANCE_ROOT= -DWEBCFG_SANITIZE=ON $(CMAKE_FLAGS)
	cmake --build $(BUILD)/sanitize -j $(JOBS)
	cd $(BUILD)/sanitize && ctest --output-on-failure -j $(JOBS)

# Per-request cost of the program against a floor, printed as one table.
bench: build-armhf
	scripts/install-deps.sh build bench
	cmake -S . -B $(BUILD) $(HOST_FLAGS)
	cmake --build $(BUILD) -j $(JOBS) --target webcfg webcfg_sandbox
	cmake -S . -B $(BUILD)/dynamic -DAPPLIANCE_ROOT= -DWEBCFG_STATIC=OFF -DWEBCFG_TESTS=OFF $(CMAKE_FLAGS)
	cmake --build $(BUILD)/dynamic -j $(JOBS) --target webcfg webcfg_sandbox
	cmake -S bench -B $(BUILD)/bench
	cmake --build $(BUILD)/bench -j $(JOBS)
	$(BUILD)/bench/webcfg-bench --work $(BUILD)/bench/work --seed bench/seed-root.sh \
	  --program $(BUILD)/webcfg-sandbox.cgi --dynamic-program $(BUILD)/dynamic/webcfg-sandbox.cgi \
	  --floor $(BUILD)/bench/floor \
	  --size static=$(BUILD)/webcfg.cgi --size dynamic=$(BUILD)/dynamic/webcfg.cgi \
	  --size armhf=$(ARMHF_BUILD)/webcfg.cgi $(BENCH_FLAGS)

run:
	scripts/install-deps.sh build
	cmake -S . -B $(DEMO_BUILD) -DAPPLIANCE_ROOT=$(DEMO_ROOT) -DWEBCFG_TESTS=OFF
	cmake --build $(DEMO_BUILD) -j $(JOBS) --target webcfg
	scripts/demo.sh $(DEMO_ROOT) $(DEMO_BUILD)/webcfg.cgi

clean:
	rm -rf $(BUILD)
