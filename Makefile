# The two commands a newcomer needs: `make run` and `make test`. Each
# installs what is missing first.

BUILD := build
ASAN_BUILD := build-asan
JOBS ?= $(shell nproc)
CMAKE_FLAGS := -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo

.PHONY: deps build run test test-asan bench fuzz package clean

deps:
	@scripts/install-deps

build: deps
	@cmake -S . -B $(BUILD) $(CMAKE_FLAGS) >/dev/null
	@cmake --build $(BUILD) -j $(JOBS)

# Serves the demo site on http://127.0.0.1:8080/ until Ctrl-C.
run: build
	@$(BUILD)/src/host/kelvane serve examples/site

test: build
	@ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

# The same suite under AddressSanitizer and UndefinedBehaviorSanitizer.
test-asan: deps
	@cmake -S . -B $(ASAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKELVANE_SANITIZE=ON >/dev/null
	@cmake --build $(ASAN_BUILD) -j $(JOBS)
	@ctest --test-dir $(ASAN_BUILD) --output-on-failure -j $(JOBS)

# Fuzzes the picture loader, the VBScript compiler, the VBScript compiler and
# interpreter together (--run), the request's decoders, the connection
# strings, a Recordset's Filter and Sort, then a session's stored form, for FUZZ_SECONDS
# (default 300) each with libFuzzer, starting from fuzz/seeds,
# fuzz/vbscript-seeds, fuzz/connection-seeds and fuzz/filter-seeds; inputs that fail land in build-fuzz/.
FUZZ_SECONDS ?= 300
fuzz: deps
	@cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DCMAKE_CXX_COMPILER=clang++ -DKELVANE_FUZZ=ON >/dev/null
	@cmake --build build-fuzz -j $(JOBS)
	@mkdir -p build-fuzz/corpus
	@build-fuzz/fuzz/picture_fuzz build-fuzz/corpus fuzz/seeds -max_total_time=$(FUZZ_SECONDS) \
	  -max_len=65536 -rss_limit_mb=2048 -timeout=10 -artifact_prefix=build-fuzz/ -print_final_stats=1
	@mkdir -p build-fuzz/vbscript-corpus
	@build-fuzz/fuzz/vbscript_fuzz build-fuzz/vbscript-corpus fuzz/vbscript-seeds -max_total_time=$(FUZZ_SECONDS) \
	  -max_len=16384 -rss_limit_mb=2048 -timeout=10 -artifact_prefix=build-fuzz/vbscript- -print_final_stats=1
	@mkdir -p build-fuzz/vbscript-run-corpus
	@build-fuzz/fuzz/vbscript_fuzz build-fuzz/vbscript-run-corpus build-fuzz/vbscript-corpus fuzz/vbscript-seeds \
	  -max_total_time=$(FUZZ_SECONDS) -max_len=16384 -rss_limit_mb=2048 -timeout=10 \
	  -artifact_prefix=build-fuzz/vbscript-run- -print_final_stats=1 --run
	@mkdir -p build-fuzz/webtext-corpus
	@build-fuzz/fuzz/webtext_fuzz build-fuzz/webtext-corpus -max_total_time=$(FUZZ_SECONDS) \
	  -max_len=4096 -rss_limit_mb=2048 -timeout=10 -artifact_prefix=build-fuzz/webtext- -print_final_stats=1
	@mkdir -p build-fuzz/connection-corpus
	@build-fuzz/fuzz/connection_string_fuzz build-fuzz/connection-corpus fuzz/connection-seeds -max_total_time=$(FUZZ_SECONDS) \
	  -max_len=1024 -rss_limit_mb=2048 -timeout=10 -artifact_prefix=build-fuzz/connection- -print_final_stats=1
	@mkdir -p build-fuzz/filter-corpus
	@build-fuzz/fuzz/record_filter_fuzz build-fuzz/filter-corpus fuzz/filter-seeds -max_total_time=$(FUZZ_SECONDS) \
	  -max_len=1024 -rss_limit_mb=2048 -timeout=10 -artifact_prefix=build-fuzz/filter- -print_final_stats=1
	@mkdir -p build-fuzz/session-form-corpus
	@build-fuzz/fuzz/session_form_fuzz build-fuzz/session-form-corpus -max_total_time=$(FUZZ_SECONDS) \
	  -max_len=4096 -rss_limit_mb=2048 -timeout=10 -artifact_prefix=build-fuzz/session-form- -print_final_stats=1

# The Debian package, build/kelvane_VERSION_ARCH.deb: see deploy/README.md.
package: build
	@cd $(BUILD) && cpack -G DEB

bench: build
	@$(BUILD)/bench/kelvane_bench

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) build-fuzz
