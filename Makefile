# Entry points for developers and CI. `make test` is the one test command.
BUILD ?= build
JOBS ?= $(shell nproc)
CMAKE_CONFIGURE = cmake -G Ninja -S .
SANITIZER_ENV = ASAN_OPTIONS=detect_leaks=1:strict_string_checks=1:detect_stack_use_after_return=1 \
                UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

.PHONY: run test deps clang-deps bench tsan tsan-threads clang fuzz format check-format clean

deps:
	@scripts/install-deps.sh

clang-deps:
	@scripts/install-deps.sh clang clang-format

# The first command: an optimised build of the trevalo program alone, then the bundled example
# day replayed through the whole SDK against the embedded reference service. Prints the summary
# and writes report.html and the service's database, example.sqlite, here.
run: deps
	$(CMAKE_CONFIGURE) -B $(BUILD)/release -DCMAKE_BUILD_TYPE=Release -DTREVALO_BUILD_TESTS=OFF \
	  -DTREVALO_BUILD_BENCHMARKS=OFF -DTREVALO_BUILD_TOOLS=ON
	cmake --build $(BUILD)/release -j $(JOBS) --target trevalo-command
	rm -f example.sqlite
	$(BUILD)/release/tools/trevalo replay examples/day.jsonl --venues examples/venues.geojson \
	  --db example.sqlite --report report.html
	@echo "Wrote report.html and example.sqlite"

# Debug build with AddressSanitizer and UndefinedBehaviorSanitizer, warnings as errors; runs
# every test through CTest.
test: deps
	$(CMAKE_CONFIGURE) -B $(BUILD)/test -DCMAKE_BUILD_TYPE=Debug -DTREVALO_WERROR=ON \
	  -DTREVALO_SANITIZE=address,undefined
	cmake --build $(BUILD)/test -j $(JOBS)
	cd $(BUILD)/test && $(SANITIZER_ENV) ctest --output-on-failure -j $(JOBS)

# The same tests under ThreadSanitizer.
tsan: deps
	$(CMAKE_CONFIGURE) -B $(BUILD)/tsan -DCMAKE_BUILD_TYPE=Debug -DTREVALO_WERROR=ON \
	  -DTREVALO_SANITIZE=thread
	cmake --build $(BUILD)/tsan -j $(JOBS)
	cd $(BUILD)/tsan && TSAN_OPTIONS=halt_on_error=1 ctest --output-on-failure -j $(JOBS)

# The tests of the programs that run code on several threads (CTest label "threads"), under
# ThreadSanitizer, with only those programs built; CI runs it after `test`. Optimised lightly
# and with line tables only: it compiles in little more than half the time of -O2 -g, and a
# race report still names every file and line.
tsan-threads: deps
	$(CMAKE_CONFIGURE) -B $(BUILD)/tsan-threads -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g1 -DNDEBUG" \
	  -DTREVALO_WERROR=ON -DTREVALO_SANITIZE=thread -DTREVALO_BUILD_TOOLS=OFF
	cmake --build $(BUILD)/tsan-threads -j $(JOBS) --target threaded_tests
	cd $(BUILD)/tsan-threads && TSAN_OPTIONS=halt_on_error=1 ctest --output-on-failure \
	  -j $(JOBS) -L threads

# The whole tree with clang, warnings as errors, and its tests.
clang: clang-deps
	$(CMAKE_CONFIGURE) -B $(BUILD)/clang -DCMAKE_BUILD_TYPE=Debug -DTREVALO_WERROR=ON \
	  -DCMAKE_CXX_COMPILER=clang++ -DTREVALO_BUILD_BENCHMARKS=ON
	cmake --build $(BUILD)/clang -j $(JOBS)
	cd $(BUILD)/clang && ctest --output-on-failure -j $(JOBS)

# Optimised build of the Google Benchmark programs in bench/, each run with five repetitions.
bench: deps
	$(CMAKE_CONFIGURE) -B $(BUILD)/bench -DCMAKE_BUILD_TYPE=Release -DTREVALO_BUILD_TESTS=OFF \
	  -DTREVALO_BUILD_BENCHMARKS=ON
	cmake --build $(BUILD)/bench -j $(JOBS)
	@for program in $(BUILD)/bench/bench/*Benchmark; do \
	  echo "== $$program"; \
	  $$program --benchmark_repetitions=5 --benchmark_report_aggregates_only=true || exit 1; \
	done

# The fuzz targets (tests/fuzz/) as libFuzzer programs, built with clang, AddressSanitizer and
# UndefinedBehaviorSanitizer, each run FUZZ_SECONDS from its corpus, FUZZ_JOBS at a time
# (scripts/fuzz.sh).
FUZZ_SECONDS ?= 60
FUZZ_JOBS ?= 1
fuzz: clang-deps
	$(CMAKE_CONFIGURE) -B $(BUILD)/fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DCMAKE_CXX_COMPILER=clang++ -DTREVALO_FUZZ=ON -DTREVALO_BUILD_TESTS=OFF \
	  -DTREVALO_BUILD_TOOLS=OFF -DTREVALO_SANITIZE=address,undefined,fuzzer-no-link
	cmake --build $(BUILD)/fuzz -j $(JOBS)
	FUZZ_JOBS=$(FUZZ_JOBS) scripts/fuzz.sh run $(BUILD)/fuzz $(FUZZ_SECONDS)

format: clang-deps
	@git ls-files '*.h' '*.cpp' | xargs clang-format -i

check-format: clang-deps
	@git ls-files '*.h' '*.cpp' | xargs clang-format --dry-run -Werror

clean:
	rm -rf $(BUILD)
