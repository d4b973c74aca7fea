# Quick start: `make run` builds and starts Kestrel, `make test` builds and runs every test.
BUILD      ?= build
PKG_BUILD  ?= build-package
ASAN_BUILD ?= build-asan
TSAN_BUILD ?= build-tsan
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 60
JOBS       ?= $(shell nproc)
# Looked up when a build folder is configured, after `deps` has installed Ninja and ccache, so
# that the first build on a new machine uses them too.
CMAKE_GEN   = $(shell command -v ninja >/dev/null 2>&1 && echo "-G Ninja") \
              $(shell command -v ccache >/dev/null 2>&1 && echo "-DCMAKE_CXX_COMPILER_LAUNCHER=ccache") \
              -DKESTREL_WERROR=ON
# Debian's release flags with its hardening, for the main build and the packages alike: the tests
# pass on what ships, and the package build finds its objects in the compiler cache, wherever the
# build folder lies.
HARDENING   = DEB_BUILD_MAINT_OPTIONS=hardening=+all
RELEASE_ENV = CXXFLAGS="$$($(HARDENING) dpkg-buildflags --get CPPFLAGS) \
                $$($(HARDENING) dpkg-buildflags --get CXXFLAGS)" \
              LDFLAGS="$$($(HARDENING) dpkg-buildflags --get LDFLAGS)"
export CCACHE_BASEDIR := $(CURDIR)
export CCACHE_NOHASHDIR := true
# Most tests wait on the disk, not the processor.
TEST_JOBS  ?= $(shell echo $$(( $$(nproc) * 2 )))

.PHONY: deps build run test test-asan test-tsan tidy fuzz package bench format clean

deps:
	@./scripts/install-deps.sh

$(BUILD)/CMakeCache.txt: | deps
	$(RELEASE_ENV) cmake -S . -B $(BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=None

build: $(BUILD)/CMakeCache.txt deps
	cmake --build $(BUILD) -j $(JOBS)

run: build
	@./scripts/run.sh $(BUILD)

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(TEST_JOBS) --timeout 600

# The plain pass already runs these; under the sanitizers they only cost time: the crash harness
# (its every run is a fork of the same few paths) and the windows again at 200%.
ASAN_SKIP := ^(crash_.*|.*_200)$$
$(ASAN_BUILD)/CMakeCache.txt: | deps
	cmake -S . -B $(ASAN_BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Debug -DKESTREL_SANITIZE=ON

test-asan: deps $(ASAN_BUILD)/CMakeCache.txt
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	cd $(ASAN_BUILD) && UBSAN_OPTIONS=print_stacktrace=1 \
	  ctest --output-on-failure -j $(TEST_JOBS) --timeout 900 -E '$(ASAN_SKIP)'

# The tests that run a clean-up off the window's thread, under ThreadSanitizer (clang), and
# the engine tests whose walk lists folders on several threads.
TSAN_TESTS := main_window_test gui_entry_test preview_window_test restore_dialog_test
TSAN_WALK_TESTS := ListingThreads
$(TSAN_BUILD)/CMakeCache.txt: | deps
	cmake -S . -B $(TSAN_BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DCMAKE_CXX_COMPILER=clang++ -DKESTREL_TSAN=ON

test-tsan: deps $(TSAN_BUILD)/CMakeCache.txt
	cmake --build $(TSAN_BUILD) -j $(JOBS) --target $(TSAN_TESTS) kestrel_tests
	cd $(TSAN_BUILD) && \
	  TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 suppressions=$(CURDIR)/.ci/tsan.supp" \
	  ctest --output-on-failure -R '^($(subst $(eval) ,|,$(TSAN_TESTS)))$$|$(TSAN_WALK_TESTS)'

# clang-tidy over src/ with the checks in .clang-tidy, on the compile commands of $(BUILD); GCC's
# own warning options are not clang's.
tidy: build
	run-clang-tidy -p $(BUILD) -j $(JOBS) -quiet -extra-arg=-Wno-unknown-warning-option "$(CURDIR)/src/"

# libFuzzer targets under ASan and UBSan, each for FUZZ_SECONDS from its seed corpus.
$(FUZZ_BUILD)/CMakeCache.txt: | deps
	cmake -S . -B $(FUZZ_BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DCMAKE_CXX_COMPILER=clang++ -DKESTREL_FUZZ=ON

fuzz: deps $(FUZZ_BUILD)/CMakeCache.txt
	cmake --build $(FUZZ_BUILD) -j $(JOBS)
	./scripts/fuzz.sh $(FUZZ_BUILD) $(FUZZ_SECONDS)

# Two Debian packages in $(PKG_BUILD): kestrel (silent program) and kestrel-gui (the window),
# built for /usr.
$(PKG_BUILD)/CMakeCache.txt: | deps
	$(RELEASE_ENV) cmake -S . -B $(PKG_BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=None \
	  -DCMAKE_INSTALL_PREFIX=/usr -DKESTREL_BUILD_TESTS=OFF

package: deps $(PKG_BUILD)/CMakeCache.txt
	cmake --build $(PKG_BUILD) -j $(JOBS)
	cd $(PKG_BUILD) && cpack -G DEB

bench: build
	./$(BUILD)/bench/kestrel_bench
	./$(BUILD)/bench/kestrel_ui_bench

format:
	clang-format -i $$(git ls-files '*.cpp' '*.h')

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(TSAN_BUILD) $(FUZZ_BUILD) $(PKG_BUILD)
