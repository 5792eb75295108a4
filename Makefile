# Thin wrappers around CMake. `make run` and `make check` install what is
# missing (Debian packages) first, so both work on a fresh machine.

JOBS ?= 2
BUILD ?= build
CMAKE_FLAGS ?=
CTEST_FLAGS ?= --output-on-failure -j $(JOBS)

export ASAN_OPTIONS ?= halt_on_error=1:abort_on_error=1:detect_leaks=1:strict_string_checks=1
export UBSAN_OPTIONS ?= halt_on_error=1:print_stacktrace=1
export TSAN_OPTIONS ?= halt_on_error=1:second_deadlock_stack=1

.PHONY: all deps deps-deb deb deb-test build web run check check-normal check-asan check-m32 check-tsan test bench bench-java bench-web bench-cli bench-guessing fuzz soak soak-threads valgrind format clean

all: build

deps:
	@scripts/install-deps.sh

build:
	cmake -S . -B $(BUILD) $(CMAKE_FLAGS)
	cmake --build $(BUILD) -j $(JOBS)

# The WebAssembly build in build-web/: the npm package quarvel-<version>.tgz
# (js/) and the meter page's files in site/ (web/), with the service
# configuration and default dictionary that the package ships.
web: deps
	cmake -S . -B build-web -DCMAKE_BUILD_TYPE=Release -DQUARVEL_BUILD_WEB=ON \
	    -DQUARVEL_BUILD_TESTS=OFF -DQUARVEL_BUILD_EXAMPLES=OFF -DQUARVEL_BUILD_JNI=OFF \
	    -DQUARVEL_BUILD_CLI=OFF -DQUARVEL_BUILD_PAM=OFF $(CMAKE_FLAGS)
	cmake --build build-web -j $(JOBS) --target quarvel-web

# The main job: the interactive test console, started in its working folder
# $(BUILD)/run, which the build prepares: conf/quarvel.ini and the default
# dictionary dicts/default_dict, built from Debian's word lists. Everything
# is built first, so the README's usage (the quarvel command, the service
# root, the PAM try-out program) works after it too.
run: deps build
	cd $(BUILD)/run && exec ../src/console/quarvel-console

test: build
	ctest --test-dir $(BUILD) $(CTEST_FLAGS)

# Every test in four builds: normal, AddressSanitizer and UBSan, 32-bit x86,
# ThreadSanitizer. All four run even when one fails; the exit status is
# non-zero if any did.
check: deps
	@status=0; \
	$(MAKE) --no-print-directory check-normal || status=1; \
	$(MAKE) --no-print-directory check-asan || status=1; \
	$(MAKE) --no-print-directory check-m32 || status=1; \
	$(MAKE) --no-print-directory check-tsan || status=1; \
	if [ $$status -eq 0 ]; then echo "check: all four builds passed"; \
	else echo "check: FAILED (see above)"; fi; \
	exit $$status

check-normal:
	@echo "=== normal build ==="
	cmake -S . -B build-check -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_FLAGS)
	cmake --build build-check -j $(JOBS)
	ctest --test-dir build-check $(CTEST_FLAGS)

check-asan:
	@echo "=== AddressSanitizer + UndefinedBehaviorSanitizer build ==="
	cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DQUARVEL_SANITIZE=ON $(CMAKE_FLAGS)
	cmake --build build-asan -j $(JOBS)
	ctest --test-dir build-asan $(CTEST_FLAGS)

check-m32:
	@echo "=== 32-bit x86 build ==="
	cmake -S . -B build-m32 -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	    -DCMAKE_C_FLAGS=-m32 -DCMAKE_CXX_FLAGS=-m32 \
	    -DCMAKE_EXE_LINKER_FLAGS=-m32 -DCMAKE_SHARED_LINKER_FLAGS=-m32 $(CMAKE_FLAGS)
	cmake --build build-m32 -j $(JOBS)
	ctest --test-dir build-m32 $(CTEST_FLAGS)

# The C and C++ tests under ThreadSanitizer, which halts on the first
# report. Python and the JVM cannot load an instrumented library, so their
# tests (and the Java interface) are left out of this build.
check-tsan:
	@echo "=== ThreadSanitizer build ==="
	cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUARVEL_SANITIZE_THREAD=ON \
	    -DQUARVEL_BUILD_JNI=OFF $(CMAKE_FLAGS)
	cmake --build build-tsan -j $(JOBS)
	ctest --test-dir build-tsan $(CTEST_FLAGS)

deps-deb:
	@scripts/install-deps.sh deb

# The Debian packages, built from a copy of the tree into build-deb/ and
# checked with lintian (errors and warnings fail).
deb: deps-deb
	JOBS=$(JOBS) scripts/build-deb.sh build-deb

# The packages installed into a throwaway Debian system and used there by the
# real passwd and chpasswd (needs root; the base system is cached in
# build-deb/e2e/).
deb-test: deb
	tests/deb/e2e.sh build-deb

# Benchmarks in a Release build: the micro-benchmarks, then the whole-process
# throughput over 20,000 passwords in the console's prepared folder (default
# settings and dictionary), and over the passwords that make a check work
# hardest (the slowest check). bench/compare.sh runs the peers beside it.
bench: deps
	cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DQUARVEL_BUILD_BENCH=ON \
	    -DQUARVEL_BUILD_TESTS=OFF -DQUARVEL_BUILD_JNI=OFF -DQUARVEL_BUILD_EXAMPLES=OFF \
	    -DQUARVEL_BUILD_CONSOLE=ON $(CMAKE_FLAGS)
	cmake --build build-bench -j $(JOBS) --target micro_bench quarvel-bench quarvel-engine-bench \
	    quarvel-run-folder
	build-bench/bench/micro_bench
	python3 bench/make_corpus.py /usr/share/john/password.lst /usr/share/dict/american-english \
	    20000 > build-bench/corpus.txt
	build-bench/bench/quarvel-bench build-bench/run build-bench/corpus.txt 10
	build-bench/bench/quarvel-engine-bench build-bench/run build-bench/corpus.txt 20 2
	python3 bench/make_worst_case.py /usr/share/dict/american-english > build-bench/worst-case.txt
	build-bench/bench/quarvel-engine-bench build-bench/run build-bench/worst-case.txt 3 1

# Quarvel.check from Java on one and two threads, over the same corpus and
# environment, in a Release build of its own with the Java interface.
bench-java: deps
	cmake -S . -B build-bench-java -DCMAKE_BUILD_TYPE=Release -DQUARVEL_BUILD_BENCH=ON \
	    -DQUARVEL_BUILD_TESTS=OFF -DQUARVEL_BUILD_JNI=ON -DQUARVEL_BUILD_EXAMPLES=OFF \
	    -DQUARVEL_BUILD_CONSOLE=ON $(CMAKE_FLAGS)
	cmake --build build-bench-java -j $(JOBS) --target quarvel_jar quarvel_java_bench quarvel-run-folder
	python3 bench/make_corpus.py /usr/share/john/password.lst /usr/share/dict/american-english \
	    20000 > build-bench-java/corpus.txt
	bench/java_bench.sh build-bench-java build-bench-java/run build-bench-java/corpus.txt 10

# The WebAssembly package in Node against the native engine (same run) and
# zxcvbn-ts, the meter page's download size against zxcvbn's, and its time
# to a first verdict in headless Chromium (bench/web/run.sh), in build-web.
bench-web: deps
	cmake -S . -B build-web -DCMAKE_BUILD_TYPE=Release -DQUARVEL_BUILD_WEB=ON \
	    -DQUARVEL_BUILD_BENCH=ON -DQUARVEL_BUILD_TESTS=OFF -DQUARVEL_BUILD_EXAMPLES=OFF \
	    -DQUARVEL_BUILD_JNI=OFF -DQUARVEL_BUILD_CLI=OFF -DQUARVEL_BUILD_PAM=OFF $(CMAKE_FLAGS)
	cmake --build build-web -j $(JOBS) --target quarvel-web quarvel-engine-bench
	bench/web/run.sh build-web

# `quarvel check` on 1,000,000 passwords against the engine's single-thread
# rate, in the Release build of make bench.
bench-cli: deps
	cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DQUARVEL_BUILD_BENCH=ON \
	    -DQUARVEL_BUILD_TESTS=OFF -DQUARVEL_BUILD_JNI=OFF -DQUARVEL_BUILD_EXAMPLES=OFF \
	    -DQUARVEL_BUILD_CONSOLE=ON -DQUARVEL_BUILD_CLI=ON $(CMAKE_FLAGS)
	bench/cli_check.sh build-bench 1000000

# Estimated guesses (quarvel check --json's guesses_log10, zxcvbn, zxcvbn-ts)
# against the guess numbers of real attacks (John the Ripper and a combinator
# attack, up to GUESS_LIMIT candidates each) on a generated test set.
bench-guessing:
	JOBS=$(JOBS) bench/guessing/run.sh

# Each fuzz target for FUZZ_SECONDS (default 60), with libFuzzer, ASan and
# UBSan, from its seed corpus in fuzz/corpus/<target>/.
FUZZ_SECONDS ?= 60
fuzz: deps
	fuzz/run.sh $(FUZZ_SECONDS)

# The full soak: a million verifications interleaved with environment
# reloads and personal-dictionary builds, in one process.
soak: deps build
	$(BUILD)/tests/soak --scale 1

# The service soak: quarvel_check on four threads, a reload every 10 ms and a
# build every second for SOAK_SECONDS (default 600), with resident memory,
# open descriptors and mapped regions reported as it goes.
SOAK_SECONDS ?= 600
soak-threads: deps build
	$(BUILD)/tests/quarvel-stress soak $(SOAK_SECONDS)

# The unit tests under Valgrind's memcheck.
valgrind: deps build
	scripts/valgrind-tests.sh $(BUILD)

format:
	clang-format -i $$(git ls-files '*.c' '*.cc' '*.h')

clean:
	rm -rf build build-web build-check build-asan build-m32 build-tsan build-bench build-bench-java build-fuzz build-deb
