# The two set-up commands: `make demo` and `make test`. Both install what is missing first.
BUILD ?= build
ASAN_BUILD ?= build-asan
TSAN_BUILD ?= build-tsan
WIN_BUILD ?= build-win
JOBS ?= 2
CMAKE_FLAGS ?=

.PHONY: deps build demo test test-release test-asan test-tsan test-fuzz clean windows

deps:
	@bash tools/deps.sh

# The tests of mervik.exe under Wine are part of this build once `make windows` has made it.
build: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMERVIK_WERROR=ON \
	  -DMERVIK_WINDOWS_BUILD=$(CURDIR)/$(WIN_BUILD) $(CMAKE_FLAGS)
	cmake --build $(BUILD) -j $(JOBS)

# Lists the bundled examples with the shipped resource file into examples/listing.pdf.
# --batch: no viewer and no key wait, the report on standard error.
demo: build
	cp examples/mervik.rsc $(BUILD)/mervik.rsc
	cd examples && ../$(BUILD)/mervik --batch *.vhd
	@echo; echo "demo listing: examples/listing.pdf"

# Every test, in the optimised build and in the address + undefined sanitizer build, and
# mervik.exe's under Wine; the threads' tests under the thread sanitizer.
test: test-release test-asan test-tsan test-fuzz

test-release: windows build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

test-asan: deps
	cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMERVIK_SANITIZE=ON -DMERVIK_WERROR=ON $(CMAKE_FLAGS)
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	cd $(ASAN_BUILD) && ctest --output-on-failure -j $(JOBS)

# The thread sanitizer, in a build of its own: the end-to-end tests that draw listings on the
# second thread and deflate pages (and a record's sources) on the third, and those threads' own
# tests. A report ends the run with status 66, which fails the test.
TSAN_TESTS ?= ^(Listing|Utf8|Navigation|Emphasis|Ghdl|ListingQueue|ListingWriter|PageCompressor|Record)\.
test-tsan: deps
	cmake -S . -B $(TSAN_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMERVIK_TSAN=ON -DMERVIK_WERROR=ON $(CMAKE_FLAGS)
	cmake --build $(TSAN_BUILD) -j $(JOBS)
	cd $(TSAN_BUILD) && TSAN_OPTIONS="halt_on_error=1 exitcode=66" \
	  ctest --output-on-failure -j $(JOBS) -R '$(TSAN_TESTS)'

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(TSAN_BUILD) $(WIN_BUILD)

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

# mervik.exe for 64-bit Windows, cross-compiled with mingw-w64 and linked statically, and
# $(WIN_BUILD)/mervik-win64.zip with it, the resource file and the manual as text.
# Wine runs the Windows build's tests.
WIN_PACKAGES = g++-mingw-w64-x86-64-posix libz-mingw-w64-dev wine wine64
WIN_LIBHARU = $(CURDIR)/$(WIN_BUILD)/libharu/prefix
windows: deps
	@bash tools/deps.sh $(WIN_PACKAGES)
	bash tools/libharu-win.sh $(WIN_BUILD)/libharu
	cmake -S . -B $(WIN_BUILD) -DCMAKE_TOOLCHAIN_FILE=$(CURDIR)/cmake/mingw-w64.cmake \
	  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMERVIK_WERROR=ON \
	  -DHPDF_INCLUDE_DIR=$(WIN_LIBHARU)/include -DHPDF_LIBRARY=$(WIN_LIBHARU)/lib/libhpdfs.a
	cmake --build $(WIN_BUILD) -j $(JOBS)
	rm -rf $(WIN_BUILD)/zip $(WIN_BUILD)/mervik-win64.zip && mkdir $(WIN_BUILD)/zip
	cp $(WIN_BUILD)/mervik.exe examples/mervik.rsc $(WIN_BUILD)/zip/
	groff -t -man -Tascii -P-cbou docs/mervik.1 | sed 's/$$/\r/' >$(WIN_BUILD)/zip/mervik.txt
	cd $(WIN_BUILD)/zip && cmake -E tar cf ../mervik-win64.zip --format=zip mervik.exe mervik.rsc mervik.txt
	@echo; echo "Windows build: $(WIN_BUILD)/mervik.exe, $(WIN_BUILD)/mervik-win64.zip"
