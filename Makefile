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

FUZZ_BUILD := $(BUILD)/fuzz

.PHONY: all build test fuzz fuzz-build run demo-reset deps clean

all: build

build:
	scripts/install-deps.sh build
	cmake -S . -B $(BUILD) -DAPPLIANCE_ROOT= $(CMAKE_FLAGS)
	cmake --build $(BUILD) -j $(JOBS) --target webcfg

# The browser tests need the pinned node packages; npm ci reinstalls them
# only when the lock file changed.
node_modules/.package-lock.json: package.json package-lock.json
	npm ci --no-audit --no-fund
	@touch $@

test:
	scripts/install-deps.sh build test web fuzz
	$(MAKE) node_modules/.package-lock.json
	cmake -S . -B $(BUILD) -DAPPLIANCE_ROOT= $(CMAKE_FLAGS)
	cmake --build $(BUILD) -j $(JOBS)
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)
	@echo "== the same suites under AddressSanitizer and UndefinedBehaviorSanitizer"
	cmake -S . -B $(BUILD)/sanitize -DAPPLIANCE_ROOT= -DWEBCFG_SANITIZE=ON -DWEBCFG_WEB_TESTS=OFF $(CMAKE_FLAGS)
	cmake --build $(BUILD)/sanitize -j $(JOBS)
	cd $(BUILD)/sanitize && ctest --output-on-failure -j $(JOBS)
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

# The pages and the CGI on http://127.0.0.1:$(PORT)/ (the next free port
# when it is taken), over a demo appliance root that is kept between runs.
run:
	scripts/install-deps.sh build demo
	cmake -S . -B $(DEMO_BUILD) -DAPPLIANCE_ROOT=$(DEMO_ROOT) -DWEBCFG_TESTS=OFF
	cmake --build $(DEMO_BUILD) -j $(JOBS) --target webcfg
	@[ -f $(DEMO_ROOT)/mnt/autorun.sh ] || scripts/demo-seed.sh $(DEMO_ROOT)
	scripts/demo-serve.sh $(DEMO_ROOT) $(DEMO_BUILD)/webcfg.cgi web $(DEMO_SERVER) $(PORT)

# Puts the demo root back to its seeded state.
demo-reset:
	scripts/demo-seed.sh $(DEMO_ROOT)

clean:
	rm -rf $(BUILD)
