# Two commands do all the set-up: `make run` and `make test`. Both install what is missing first;
# `make` alone only builds and never calls the package manager.
BUILD      ?= build
BUILD_SAN  ?= build-asan
BUILD_TSAN ?= build-tsan
BUILD_FUZZ ?= build-fuzz
FUZZ_SECONDS ?= 60
BUILD_REL  ?= build-release
BUILD_DEB  ?= build-deb
PREFIX     ?= $(if $(filter 0,$(shell id -u)),/usr/local,$(HOME)/.local)
JOBS       ?= 2
ARGS       ?=

.PHONY: all setup build build-san build-tsan run test bench fuzz deb install uninstall clean

all: build

# The builds run the set-up first when one of these goals is asked for.
SETUP := $(if $(filter run test bench deb,$(MAKECMDGOALS)),setup)

setup:
	@bash scripts/setup.sh

build: $(SETUP)
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=ON -DQM_BENCH=ON >/dev/null
	@cmake --build $(BUILD) -j $(JOBS)

build-san: $(SETUP)
	@cmake -S . -B $(BUILD_SAN) -DCMAKE_BUILD_TYPE=Debug -DQM_SANITIZE=address -DBUILD_TESTING=ON >/dev/null
	@cmake --build $(BUILD_SAN) -j $(JOBS)

# Only the programs whose tests drive threads: the playlist's, the player's and the output's.
build-tsan: $(SETUP)
	@cmake -S . -B $(BUILD_TSAN) -DCMAKE_BUILD_TYPE=Debug -DQM_SANITIZE=thread -DBUILD_TESTING=ON >/dev/null
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

# Every reader of outside input under libFuzzer (clang, AddressSanitizer, UndefinedBehaviorSanitizer),
# FUZZ_SECONDS each.
fuzz: setup
	@cmake -S . -B $(BUILD_FUZZ) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang \
	  -DCMAKE_CXX_COMPILER=clang++ -DQM_FUZZ=ON >/dev/null
	@cmake --build $(BUILD_FUZZ) -j $(JOBS) --target fuzz
	bash scripts/fuzz.sh $(BUILD_FUZZ) $(FUZZ_SECONDS)

# The Debian package, built from a copy of the tree so that dpkg-buildpackage leaves its files
# in $(BUILD_DEB) and not beside the source folder.
deb: $(SETUP)
	bash scripts/make_deb.sh $(BUILD_DEB)

# PREFIX: ~/.local for a user, /usr/local for root. Uninstall removes what install put there.
install:
	@cmake -S . -B $(BUILD_REL) -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF \
	  -DCMAKE_INSTALL_PREFIX=$(PREFIX) >/dev/null
	@cmake --build $(BUILD_REL) -j $(JOBS)
	bash scripts/install.sh install $(BUILD_REL) $(PREFIX)

uninstall:
	bash scripts/install.sh uninstall $(BUILD_REL) $(PREFIX)

clean:
	rm -rf $(BUILD) $(BUILD_SAN) $(BUILD_TSAN) $(BUILD_FUZZ) $(BUILD_DEB)
