# Two commands on a fresh Debian machine:
#   make run [TOOL=sockbay]   install what is missing, build, start a tool
#   make test                 install what is missing, build, run every test
TOOL ?= comm
BUILD ?= build
JOBS ?= $(shell nproc 2>/dev/null || echo 2)

# What building and testing need; fonts so that the Chinese captions show
# (and are measured) in the tests as on screen.
PACKAGES := cmake make g++ qt6-base-dev qt6-serialport-dev libgl-dev \
            fonts-noto-cjk fonts-dejavu-core
SUDO := $(shell [ "$$(id -u)" -eq 0 ] || echo sudo)

.PHONY: all deps build run test bench screenshots clean

all: build

deps:
	@missing=""; \
	for p in $(PACKAGES); do \
	    dpkg-query -W -f='$${Status}' $$p 2>/dev/null | grep -q "install ok installed" || missing="$$missing $$p"; \
	done; \
	if [ -n "$$missing" ]; then \
	    echo "Installing:$$missing"; \
	    $(SUDO) env DEBIAN_FRONTEND=noninteractive apt-get update -qq && \
	    $(SUDO) env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq $$missing; \
	fi

build: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(BUILD) -j $(JOBS)

run: build
	./$(BUILD)/$(TOOL)/$(TOOL)

test: build
	cd $(BUILD) && ctest --output-on-failure

# Benchmarks are built with everything else; this runs them one by one.
bench: build
	@for b in $(BUILD)/bench/bench_*; do [ -x "$$b" ] && echo "== $$b" && "$$b"; done

# Screenshots of both windows for the README (needs xvfb, x11-apps, imagemagick).
screenshots: build
	packaging/screenshots.sh $(BUILD) docs

clean:
	rm -rf $(BUILD)
