# The two commands a newcomer needs: `make run` and `make test`. Both install what is missing.
BUILD_DIR   ?= build
BENCH_DIR   ?= build-release
JOBS        ?= $(shell nproc 2>/dev/null || echo 2)
CMAKE_FLAGS ?=

.PHONY: all deps configure build test bench clean

all: build

deps:
	@scripts/install-deps

configure: deps
	@cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_FLAGS) >/dev/null

build: configure
	@cmake --build $(BUILD_DIR) -j $(JOBS)

test: build
	@cd $(BUILD_DIR) && ctest --output-on-failure -j $(JOBS)

bench: deps
	@cmake -S . -B $(BENCH_DIR) -DCMAKE_BUILD_TYPE=Release -DOMBRIX_BUILD_TESTS=OFF -DOMBRIX_BUILD_BENCH=ON $(CMAKE_FLAGS) >/dev/null
	@cmake --build $(BENCH_DIR) -j $(JOBS)
	@for b in $(BENCH_DIR)/bench/*; do \
	  if [ -f "$$b" ] && [ -x "$$b" ]; then echo "== $$(basename $$b)"; "$$b" $(BENCH_ARGS) || exit 1; fi; \
	done

clean:
	@rm -rf $(BUILD_DIR) $(BENCH_DIR)
