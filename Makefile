# Two commands do all the set-up: `make run` and `make test`. Both install what is missing first.
BUILD      ?= build
BUILD_SAN  ?= build-asan
BUILD_TSAN ?= build-tsan
JOBS       ?= 2
ARGS       ?=

.PHONY: setup build build-san build-tsan run test bench clean

setup:
	@bash scripts/setup.sh

build: setup
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
	@cmake --build $(BUILD) -j $(JOBS)

build-san: setup
	@cmake -S . -B $(BUILD_SAN) -DCMAKE_BUILD_TYPE=Debug -DQM_SANITIZE=address >/dev/null
	@cmake --build $(BUILD_SAN) -j $(JOBS)

# Only the programs whose tests drive threads: the playlist's, the player's and the output's.
build-tsan: setup
	@cmake -S . -B $(BUILD_TSAN) -DCMAKE_BUILD_TYPE=Debug -DQM_SANITIZE=thread >/dev/null
	@cmake --build $(BUILD_TSAN) -j $(JOBS) --target test_playback test_audio

run: build
	./$(BUILD)/quavermill $(ARGS)

# The plain build first, then the same tests under AddressSanitizer and UndefinedBehaviorSanitizer.
# Then the thread tests of the playlist, the player and the output under ThreadSanitizer.
test: build build-san build-tsan
	bash scripts/run_tests.sh $(BUILD) $(BUILD_SAN)
	TSAN_OPTIONS=halt_on_error=1 ctest --test-dir $(BUILD_TSAN) -j 2 --output-on-failure \
	  --timeout 300 -R '^(Playlist|PcmRing|PlayerControl|PlayerScan|PlayerPlay|Output|Lifecycle)\.'

bench: build
	bash bench/run.sh $(BUILD)

clean:
	rm -rf $(BUILD) $(BUILD_SAN) $(BUILD_TSAN)
