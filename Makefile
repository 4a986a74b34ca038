# One-command entry points; each installs what it needs first.
BUILD ?= build
JOBS ?= $(shell nproc)

.PHONY: all bootstrap configure build test perf sanitize run demo clean

all: build

bootstrap:
	@bash tools/bootstrap

configure: bootstrap
	@cmake -S . -B $(BUILD) -G Ninja >/dev/null

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

test: build
	@cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS) --timeout 300

perf: build
	@cmake --build $(BUILD) -j $(JOBS) --target perf_all
	@bash tools/run-perf $(BUILD)

# The whole suite built with sanitizers, in a tree of its own:
# `make sanitize` (address,undefined) or `make sanitize SANITIZE=thread`.
comma := ,
SANITIZE ?= address,undefined
SANITIZE_BUILD ?= build-sanitize-$(subst $(comma),-,$(SANITIZE))
sanitize: bootstrap
	@cmake -S . -B $(SANITIZE_BUILD) -G Ninja -DFIXBENCH_SANITIZE=$(SANITIZE) >/dev/null
	@cmake --build $(SANITIZE_BUILD) -j $(JOBS)
	@cd $(SANITIZE_BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS) --timeout 900

run: build
	@bash tools/run-fixbench $(BUILD)

demo: build
	@bash tools/demo $(BUILD)

# Only what the build made: whatever else stands in the build folder stays.
clean:
	@if [ -f $(BUILD)/build.ninja ]; then cmake --build $(BUILD) --target clean; fi
	@for d in build-sanitize-*; do if [ -f $$d/build.ninja ]; then cmake --build $$d --target clean; fi; done
