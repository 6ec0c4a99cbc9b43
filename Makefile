# SPDX-License-Identifier: MIT
# Two commands on a fresh Debian machine:
#   make run [TOOL=sockbay]   install what is missing, build, start a tool
#   make test                 install what is missing, build, run every test
# and the Debian package of both tools:
#   make package              build/comm-sockbay_<version>_<arch>.deb
#   make package-check        that package installed, both tools started, removed
# and two that look for memory faults and undefined behaviour:
#   make test-sanitize        the whole suite under ASan and UBSan
#   make fuzz [FUZZ_SECONDS=60]  each libFuzzer target for that long
TOOL ?= comm
BUILD ?= build
JOBS ?= $(shell nproc 2>/dev/null || echo 2)

# What building and testing need; fonts so that the Chinese captions show
# (and are measured) in the tests as on screen, and the symbols the log
# draws for control characters (FreeMono has them); Qt's own translations, which
# the tools load for the user's language; the checkers of the desktop
# entries and of the AppStream metadata, and file(1) for the icons' sizes,
# that the install test runs; xxd, the reference the log's dump rows are
# tested against.
PACKAGES := cmake make g++ qt6-base-dev qt6-serialport-dev libgl-dev \
            fonts-noto-cjk fonts-dejavu-core fonts-freefont-ttf qt6-translations-l10n \
            desktop-file-utils appstream file xxd
# CPack's Debian generator finds the libraries' packages with dpkg-shlibdeps
# (and tells programs from other files with file(1)).
PACKAGE_PACKAGES := dpkg-dev file
# libFuzzer comes with clang only: the compiler and its runtime libraries.
FUZZ_PACKAGES := clang-14 libclang-rt-14-dev
SUDO := $(shell [ "$$(id -u)" -eq 0 ] || echo sudo)

.PHONY: all deps deps-fuzz build run test package package-check test-sanitize fuzz bench screenshots clean

all: build

# $(call install-missing,packages): apt-get install those not installed yet.
define install-missing
	@missing=""; \
	for p in $(1); do \
	    dpkg-query -W -f='$${Status}' $$p 2>/dev/null | grep -q "install ok installed" || missing="$$missing $$p"; \
	done; \
	if [ -n "$$missing" ]; then \
	    echo "Installing:$$missing"; \
	    $(SUDO) env DEBIAN_FRONTEND=noninteractive apt-get update -qq && \
	    $(SUDO) env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq $$missing; \
	fi
endef

deps:
	$(call install-missing,$(PACKAGES))

deps-fuzz:
	$(call install-missing,$(PACKAGES) $(FUZZ_PACKAGES))

build: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(BUILD) -j $(JOBS)

run: build
	./$(BUILD)/$(TOOL)/$(TOOL)

test: build
	cd $(BUILD) && ctest --output-on-failure

package: build
	$(call install-missing,$(PACKAGE_PACKAGES))
	cd $(BUILD) && cpack -G DEB

# Installs the package with apt-get (so its dependencies come too), starts
# each tool as its desktop entry says, and removes the package again.
package-check: package
	$(SUDO) packaging/check-package.sh $(BUILD)

# The whole tree and its tests built with AddressSanitizer and
# UndefinedBehaviorSanitizer (g++'s runtimes come with g++). Any report stops
# the test program with a failing exit code; leaks are checked at exit. The
# suppressions cover leaks inside system libraries only (see the file).
# A Debug build keeps assertions (Qt's and ours) on; -O1 keeps it quick.
SANITIZE_BUILD ?= build-sanitize
SANITIZE_FLAGS := -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer
SANITIZE_SUPP := $(CURDIR)/tests/lsan.supp
SANITIZE_ENV := \
    ASAN_OPTIONS=halt_on_error=1:exitcode=86:detect_leaks=1:abort_on_error=0:strict_string_checks=1:check_initialization_order=1 \
    UBSAN_OPTIONS=halt_on_error=1:exitcode=86:print_stacktrace=1 \
    LSAN_OPTIONS=suppressions=$(SANITIZE_SUPP):print_suppressions=0

test-sanitize: deps
	cmake -S . -B $(SANITIZE_BUILD) -DCMAKE_BUILD_TYPE=Debug \
	    -DCMAKE_CXX_FLAGS="$(SANITIZE_FLAGS) -O1" \
	    -DCMAKE_EXE_LINKER_FLAGS="$(SANITIZE_FLAGS)" \
	    -DCMAKE_SHARED_LINKER_FLAGS="$(SANITIZE_FLAGS)"
	cmake --build $(SANITIZE_BUILD) -j $(JOBS)
	cd $(SANITIZE_BUILD) && $(SANITIZE_ENV) ctest --output-on-failure
	@# A report in a program that still exited 0 (a child process, say)
	@# fails the run too.
	@if grep -E -n "ERROR: (Address|Leak)Sanitizer|runtime error:" \
	        $(SANITIZE_BUILD)/Testing/Temporary/LastTest.log; then \
	    echo "Sanitizer report in the test output"; exit 1; fi

# The libFuzzer targets of tests/fuzz, built with clang in their own folder
# (with ASan and UBSan too), each run for FUZZ_SECONDS from its seeds in
# tests/fuzz/corpus/. Any finding fails the run; the input that found it
# is kept under $(FUZZ_BUILD)/artifacts/.
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 60
FUZZ_CXX ?= clang++-14
FUZZ_FLAGS := -fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer

fuzz: deps-fuzz
	cmake -S . -B $(FUZZ_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	    -DCMAKE_CXX_COMPILER=$(FUZZ_CXX) -DCONSOLES_FUZZ=ON \
	    -DCMAKE_CXX_FLAGS="$(FUZZ_FLAGS)"
	cmake --build $(FUZZ_BUILD) -j $(JOBS) --target fuzzers
	LSAN_OPTIONS=suppressions=$(SANITIZE_SUPP):print_suppressions=0 \
	    UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
	    tests/fuzz/run.sh $(FUZZ_BUILD) $(FUZZ_SECONDS)

# Benchmarks are built with everything else; this runs them one by one.
bench: build
	@for b in $(BUILD)/bench/bench_*; do [ -x "$$b" ] && echo "== $$b" && "$$b"; done

# Screenshots of both windows for the README (needs xvfb, x11-apps, imagemagick).
screenshots: build
	packaging/screenshots.sh $(BUILD) docs

clean:
	rm -rf $(BUILD) $(SANITIZE_BUILD) $(FUZZ_BUILD)
