# Thin wrapper around CMake for the everyday commands.
BUILD ?= build
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
CMAKE_FLAGS ?=

.PHONY: all build test demo bench clean sanitize

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

clean:
	rm -rf $(BUILD) build-asan
