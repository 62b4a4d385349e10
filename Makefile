# Two commands do all the set-up: `make run` and `make test`. Both install what is missing first.
BUILD      ?= build
BUILD_SAN  ?= build-asan
JOBS       ?= 2
ARGS       ?=

.PHONY: setup build build-san run test bench clean

setup:
	@bash scripts/setup.sh

build: setup
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
	@cmake --build $(BUILD) -j $(JOBS)

build-san: setup
	@cmake -S . -B $(BUILD_SAN) -DCMAKE_BUILD_TYPE=Debug -DQM_SANITIZE=address >/dev/null
	@cmake --build $(BUILD_SAN) -j $(JOBS)

run: build
	./$(BUILD)/quavermill $(ARGS)

# The plain build first, then the same tests under AddressSanitizer and UndefinedBehaviorSanitizer.
test: build build-san
	bash scripts/run_tests.sh $(BUILD) $(BUILD_SAN)

bench: build
	bash bench/run.sh $(BUILD)

clean:
	rm -rf $(BUILD) $(BUILD_SAN) build-tsan
