# Thin wrapper over CMake. Every target installs what it needs first.
BUILD    ?= build
JOBS     ?= $(shell nproc)
CMAKE_FLAGS ?=

DEMO_ROOT  := $(CURDIR)/$(BUILD)/demo-root
DEMO_BUILD := $(BUILD)/demo

.PHONY: all build test run deps clean

all: build

build:
	scripts/install-deps.sh build
	cmake -S . -B $(BUILD) -DAPPLIANCE_ROOT= $(CMAKE_FLAGS)
	cmake --build $(BUILD) -j $(JOBS) --target webcfg

test:
	scripts/install-deps.sh build test
	cmake -S . -B $(BUILD) -DAPPLIANCE_ROOT= $(CMAKE_FLAGS)
	cmake --build $(BUILD) -j $(JOBS)
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)
	@echo "== the same suites under AddressSanitizer and UndefinedBehaviorSanitizer"
	cmake -S . -B $(BUILD)/sanitize -DAPPLIANCE_ROOT= -DWEBCFG_SANITIZE=ON $(CMAKE_FLAGS)
	cmake --build $(BUILD)/sanitize -j $(JOBS)
	cd $(BUILD)/sanitize && ctest --output-on-failure -j $(JOBS)

run:
	scripts/install-deps.sh build
	cmake -S . -B $(DEMO_BUILD) -DAPPLIANCE_ROOT=$(DEMO_ROOT) -DWEBCFG_TESTS=OFF
	cmake --build $(DEMO_BUILD) -j $(JOBS) --target webcfg
	scripts/demo.sh $(DEMO_ROOT) $(DEMO_BUILD)/webcfg.cgi

clean:
	rm -rf $(BUILD)
