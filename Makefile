# Thin wrapper around CMake for the everyday commands.
BUILD ?= build
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
CMAKE_FLAGS ?=

.PHONY: all build test demo bench clean sanitize windows windows-test package windows-package

all: build

$(BUILD)/CMakeCache.txt:
	cmake -S . -B $(BUILD) $(CMAKE_FLAGS)

build: $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS)

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

# Unit tests again under AddressSanitizer and UndefinedBehaviorSanitizer.
sanitize:
	cmake -S . -B build-asan -DCNCSEND_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug
	cmake --build build-asan -j $(JOBS)
	cd build-asan && ctest --output-on-failure -j $(JOBS) -L unit

# A real transfer of the demo job to the simulated controller at 9600 baud.
demo: build
	cp examples/down.cfg $(BUILD)/src/app/down.cfg
	@rm -f $(BUILD)/demo-received.log
	$(BUILD)/tools/cncsim/cncsim --baud 9600 --log $(BUILD)/demo-received.log \
		-- $(BUILD)/src/app/cncsend examples/demo.job; \
	status=$$?; \
	echo; echo "The controller received (line, text, answer):"; \
	cat $(BUILD)/demo-received.log 2>/dev/null; \
	echo "cncsend ended with exit code $$status"

# cncsend beside a minimal reference sender (and pyserial when installed),
# fast and paced, against cncsim: a table of medians and ratios.
bench: build
	python3 bench/senders.py

# Windows, cross-built with MinGW-w64: the 32-bit release (build-win32/
# src/app/cncsend.exe, statically linked) and a 64-bit twin with the unit
# tests, which is what runs under Wine here.
windows:
	cmake -S . -B build-win32 -DCMAKE_TOOLCHAIN_FILE=cmake/i686-w64-mingw32.cmake \
		-DCMAKE_BUILD_TYPE=Release -DCNCSEND_TESTS=OFF
	cmake --build build-win32 -j $(JOBS)
	cmake -S . -B build-win64 -DCMAKE_TOOLCHAIN_FILE=cmake/x86_64-w64-mingw32.cmake \
		-DCMAKE_BUILD_TYPE=Release
	cmake --build build-win64 -j $(JOBS)

# The Windows build under Wine: unit tests and the end-to-end job tests
# (cncsim comes from the Linux build).
windows-test: windows build
	BUILD=$(BUILD) tools/wine/run-tests

# The Debian package (build-pkg/cncsend_*.deb): a release build for /usr.
package:
	cmake -S . -B build-pkg -DCMAKE_BUILD_TYPE=Release -DCNCSEND_TESTS=OFF \
		-DCMAKE_INSTALL_PREFIX=/usr
	cmake --build build-pkg -j $(JOBS)
	cd build-pkg && cpack -G DEB

# The Windows zip (build-win32/cncsend-*-win32.zip) of the 32-bit release.
windows-package: windows
	cd build-win32 && cpack -G ZIP

clean:
	rm -rf $(BUILD) build-asan build-win32 build-win64 build-pkg
