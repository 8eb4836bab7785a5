# The two set-up commands: `make demo` and `make test`. Both install what is missing first.
BUILD ?= build
ASAN_BUILD ?= build-asan
JOBS ?= 2
CMAKE_FLAGS ?=

.PHONY: deps build demo test test-release test-asan test-fuzz clean

deps:
	@bash tools/deps.sh

build: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMERVIK_WERROR=ON $(CMAKE_FLAGS)
	cmake --build $(BUILD) -j $(JOBS)

# Lists the bundled examples with the shipped resource file into examples/listing.pdf.
# setsid: no controlling terminal, so the final key wait returns at once.
demo: build
	cp examples/mervik.rsc $(BUILD)/mervik.rsc
	cd examples && setsid -w ../$(BUILD)/mervik *.vhd </dev/null
	@echo; echo "demo listing: examples/listing.pdf"

# Every test, in the optimised build and in the address + undefined sanitizer build.
test: test-release test-asan test-fuzz

test-release: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

test-asan: deps
	cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMERVIK_SANITIZE=ON -DMERVIK_WERROR=ON $(CMAKE_FLAGS)
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	cd $(ASAN_BUILD) && ctest --output-on-failure -j $(JOBS)

clean:
	rm -rf $(BUILD) $(ASAN_BUILD)

# `make install [PREFIX=/usr/local]`: the program, its resource file in PREFIX/etc/mervik (in
# /etc/mervik for PREFIX=/usr), where the program looks for it, and the documents. DESTDIR=...
# on the command line stages the install.
PREFIX ?= /usr/local
.PHONY: install package

install: build
	cmake --install $(BUILD) --prefix $(PREFIX)

# A Debian package, $(BUILD)/mervik_<version>_<arch>.deb, that installs under /usr, with the
# resource file as the conffile /etc/mervik/mervik.rsc.
package: build
	cd $(BUILD) && cpack -G DEB

# A short libFuzzer run of each target on its seed corpus; `fuzz/run.sh 3600` runs longer.
FUZZ_SECONDS ?= 20
test-fuzz: deps
	bash fuzz/run.sh $(FUZZ_SECONDS)
