# The two commands a newcomer needs: `make run` and `make test`. Both install what is missing.
BUILD_DIR   ?= build
BENCH_DIR   ?= build-release
CLANG_DIR   ?= build-clang
JOBS        ?= $(shell nproc 2>/dev/null || echo 2)
CMAKE_FLAGS ?=
FUZZ_DIR    ?= build-fuzz
FUZZ_SECONDS ?= 600
FUZZ_TARGETS = KdbxFileLoadFuzzer:load KdbxKeyFileFuzzer:keyfile

.PHONY: all deps configure build run test test-clang gallery bench fuzz clean

all: build

deps:
	@scripts/install-deps

configure: deps
	@cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_FLAGS) >/dev/null

build: configure
	@cmake --build $(BUILD_DIR) -j $(JOBS)

run: configure
	@cmake --build $(BUILD_DIR) -j $(JOBS) --target ombrix
	@$(BUILD_DIR)/ombrix

test: build
	@cd $(BUILD_DIR) && ctest --output-on-failure -j $(JOBS)

# The same build and tests with clang, where any warning fails the build: the code is kept
# clean for both compilers.
test-clang:
	@scripts/install-deps clang
	@CC=clang CXX=clang++ cmake -S . -B $(CLANG_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DCMAKE_CXX_FLAGS=-Werror $(CMAKE_FLAGS) >/dev/null
	@cmake --build $(CLANG_DIR) -j $(JOBS)
	@cd $(CLANG_DIR) && ctest --output-on-failure -j $(JOBS)

# Pictures of every view and component for a person to look at (they check nothing).
gallery: build
	@cmake --build $(BUILD_DIR) --target gallery

bench: deps
	@cmake -S . -B $(BENCH_DIR) -DCMAKE_BUILD_TYPE=Release -DOMBRIX_BUILD_TESTS=OFF -DOMBRIX_BUILD_BENCH=ON $(CMAKE_FLAGS) >/dev/null
	@cmake --build $(BENCH_DIR) -j $(JOBS)
	@for b in $(BENCH_DIR)/bench/*; do \
	  if [ -f "$$b" ] && [ -x "$$b" ]; then echo "== $$(basename $$b)"; "$$b" $(BENCH_ARGS) || exit 1; fi; \
	done

# The libFuzzer targets under ASan and UBSan (clang), each run for FUZZ_SECONDS, seeded from the
# fixtures and the kept findings; new crashing inputs land in $(FUZZ_DIR)/findings.
fuzz:
	@scripts/install-deps fuzz
	@CC=clang CXX=clang++ cmake -S . -B $(FUZZ_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DOMBRIX_BUILD_FUZZ=ON \
	  -DOMBRIX_SANITIZE=ON -DOMBRIX_BUILD_TESTS=OFF -DOMBRIX_BUILD_APP=OFF $(CMAKE_FLAGS) >/dev/null
	@cmake --build $(FUZZ_DIR) -j $(JOBS)
	@mkdir -p $(FUZZ_DIR)/corpus/load $(FUZZ_DIR)/corpus/keyfile $(FUZZ_DIR)/findings
	@$(FUZZ_DIR)/fuzz/KdbxFuzzSeeds $(FUZZ_DIR)/corpus/load
	@cp Tests/fixtures/kdbx/keyfile-* Tests/fixtures/keyfiles/*.key* Tests/fixtures/keyfiles/*.xml \
	  $(FUZZ_DIR)/corpus/keyfile/
	@for pair in $(FUZZ_TARGETS); do \
	  target=$${pair%%:*}; corpus=$${pair##*:}; seeds=Tests/fixtures/fuzz/$$corpus; \
	  echo "== $$target ($(FUZZ_SECONDS) s)"; \
	  $(FUZZ_DIR)/fuzz/$$target -max_total_time=$(FUZZ_SECONDS) -print_final_stats=1 \
	    -artifact_prefix=$(FUZZ_DIR)/findings/$$target- $(FUZZ_ARGS) \
	    $(FUZZ_DIR)/corpus/$$corpus $$( [ -d $$seeds ] && echo $$seeds ) || exit 1; \
	done

clean:
	@rm -rf $(BUILD_DIR) $(BENCH_DIR) $(CLANG_DIR) $(FUZZ_DIR)
