# SPDX-License-Identifier: MIT
# Everyday use:
#   make build      build the extension, build/geodesy.so (also: make, make all)
#   make demo       build the extension and run a short demo in the sqlite3 shell
#   make test       build everything and run the whole test suite through CTest
# Deeper checks, all run by CI:
#   make sanitize   the test suite under AddressSanitizer and UndefinedBehaviorSanitizer
#   make tsan       the concurrency tests under ThreadSanitizer
#   make fuzz       the libFuzzer target for FUZZ_SECONDS (default 90) seconds
#   make hosts      the module in the sqlite3 shell, Python and Node.js (better-sqlite3 12)
#   make windows    geodesy.dll with mingw-w64, checked in a Windows SQLite host under wine
#   make arm64      geodesy.so for aarch64, checked under qemu: same bits as the native build
#   make wasm       SQLite and the functions in WebAssembly, and its npm package, in build-wasm/
#   make wasm-test  the WebAssembly module's every result bit against the transcription on musl's maths
#   make site       the demo page, assembled in build-wasm/site (make serve serves it on 127.0.0.1:8000)
#   make browser-test  the demo page in headless Chromium; saved databases in tabs that save, remove,
#                   fail and close; durable databases in Chromium and Firefox, with workers and tabs
#                   killed mid-transaction and tabs taking turns; the package in apps built by Vite 5 and 8, webpack, Parcel,
#                   Next.js, esbuild and Rollup; its types under tsc --strict
#   make go-test    the Go package: go test, and every result bit through mattn/go-sqlite3 on
#                   the system's SQLite and on its own without extension loading
#   make ruby-test  the Ruby gem, installed with gem install and used through the sqlite3 gem
#   make java-test  the Java jar with xerial's sqlite-jdbc, directly and through a HikariCP pool
#   make rust-test  the Rust crate: cargo test, and every result bit through rusqlite
#   make php-test   the module in PHP's SQLite3 class, from sqlite3.extension_dir: every bit
#   make static-test  the static kit, found by pkg-config, in C programs on the system's SQLite and
#                   on one that cannot load extensions
#   make cluster    build-cluster/geodesy-node: a dqlite node whose connections have the functions
#   make cluster-test  three nodes with TLS on 127.0.0.1: bits, a killed leader, refusals, the client,
#                   and the HTTP API from Python, rqlite-js and curl
#   make cluster-faults  writes and reads under a killed, a paused and a cut-off leader, two nodes
#                   lost, and a membership change: nothing acknowledged lost, nothing refused kept
#   make fresh-machine  make demo and make test in a bare Debian 12 chroot (root only)
# Installing and releasing:
#   make install    build, then install geodesy.so where SQLite finds it by name, and the static
#                   kit (libgeodesy.a, sqlite3_geodesy.h, sqlite-geodesy.pc) beside it (PREFIX=/usr),
#                   and geodesy-node in PREFIX/bin once make cluster has built it
#   make uninstall  remove exactly the files that make install installed
#   make package    the Debian package dist/libsqlite3-mod-geodesy_<version>_amd64.deb
#   make wheel      the x86-64 wheel alone, into dist/
#   make npm        the npm package with the modules built so far, into build/npm/
#   make dist       every release artefact into dist/, with dist/SHA256SUMS
#   make check-dist install each artefact of dist/ as a user would and check it, and
#                   build them all again from a fresh clone: the same bytes
# Figures:
#   make bench      ns per call against GeographicLib, ns per row against SQLite's floor
#   make bench-wasm ns per row of the WebAssembly module against the native one, in Node.js; writes
#                   in Chromium and Firefox workers, durable and snapshot databases of 100 MB
#   make bench-cluster  failover time, spurious elections and idle CPU of three nodes, by --network-latency;
#                   writes and reads a second, p50 and p99, memory and descriptors at 1 to 256 clients
#   make bench-postgis  ns per row and error against GeographicLib beside PostGIS, same million rows
#   make accuracy   errors against GeographicLib: samples, searches for the worst, the antipodal
#                   picture; fails when a search beats a figure of accuracy/claims.tsv or
#                   covers less than its domain (ACCURACY_BUDGET=4: search 4 times as hard)
#   make bench-build  build the benchmark and accuracy programs only
# Housekeeping:
#   make clean      remove every build folder and dist/
#   make help       this list
# Each installs the Debian packages it lacks first (tools/packages.sh has the
# table), printing the apt-get line before it runs it; NO_INSTALL=1 only
# names the missing ones.

BUILD ?= build
JOBS  ?= $(shell nproc 2>/dev/null || echo 2)
FUZZ_SECONDS ?= 90
PREFIX ?= /usr
PYTHON ?= /usr/bin/python3
# The one place the version is written is the project() line of CMakeLists.txt.
VERSION := $(shell sed -n '/^project/s/.*VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
# Every timestamp in a release artefact is the last commit's time, so that
# two builds of one commit give the same bytes.
SOURCE_DATE_EPOCH ?= $(shell git log -1 --format=%ct 2>/dev/null)
export SOURCE_DATE_EPOCH


NODE_HOST   := tests/hosts/node_modules/better-sqlite3
AMALGAMATION := $(NODE_HOST)/deps/sqlite3
# The WebAssembly build takes SQLite's amalgamation from this exact package,
# checked against wasm/sqlite-amalgamation.sha256, and fetches it only when
# the copy in build-wasm/sqlite is missing or wrong.
WASM_SQLITE_PACKAGE := better-sqlite3@12.11.1
WASM_SQLITE := build-wasm/sqlite
# Debian's emscripten needs acorn from Debian's node modules when it links;
# a Node.js installed elsewhere does not look there.
EMSCRIPTEN_ENV := NODE_PATH=/usr/share/nodejs$(if $(NODE_PATH),:$(NODE_PATH))

.PHONY: all build demo test sanitize tsan fuzz hosts windows arm64 wasm wasm-test browser-test go-test ruby-test java-test rust-test php-test \
  static-test cluster cluster-test cluster-faults fresh-machine wasm-sqlite site serve \
  install uninstall package wheel npm dist \
  check-dist bench bench-wasm bench-cluster bench-postgis bench-build accuracy clean help

all: build

# packages-TARGET, the first prerequisite of each target that needs Debian
# packages, installs the ones missing from the single table in
# tools/packages.sh (NO_INSTALL=1: names them all and stops instead).
packages-%:
	@tools/packages.sh $*

# The loadable module, and the static kit beside it (libgeodesy.a).
build: packages-build
	cmake -S . -B $(BUILD) -DGEODESY_STATIC=ON
	cmake --build $(BUILD) -j $(JOBS)

demo: packages-demo
	$(MAKE) --no-print-directory build
	sqlite3 -bail :memory: -cmd ".load '$(abspath $(BUILD))/geodesy'" < examples/demo.sql

test: packages-test
	cmake -S . -B $(BUILD) -DBUILD_TESTING=ON
	cmake --build $(BUILD) -j $(JOBS)
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)
	@test -d $(NODE_HOST) || echo "note: host_node and example_node were skipped: they need" \
	  "better-sqlite3, which 'make hosts' installs into tests/hosts (needs npm)."

sanitize: packages-sanitize
	cmake -S . -B build-asan -DBUILD_TESTING=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DGEODESY_SANITIZE=address,undefined
	cmake --build build-asan -j $(JOBS)
	cd build-asan && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
	  UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 ctest --output-on-failure -j $(JOBS)

tsan: packages-tsan
	cmake -S . -B build-tsan -DBUILD_TESTING=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DGEODESY_SANITIZE=thread
	cmake --build build-tsan -j $(JOBS) --target geodesy concurrency_tests static_concurrency_tests
	cd build-tsan && TSAN_OPTIONS=halt_on_error=1 ctest --output-on-failure -R '^Concurrency\.'

fuzz: packages-fuzz
	cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
	  -DGEODESY_FUZZ=ON -DGEODESY_SANITIZE=fuzzer-no-link,address,undefined
	cmake --build build-fuzz -j $(JOBS) --target fuzz_geodesy
	mkdir -p build-fuzz/corpus
	build-fuzz/fuzz/fuzz_geodesy -max_total_time=$(FUZZ_SECONDS) -print_final_stats=1 \
	  build-fuzz/corpus fuzz/corpus

$(NODE_HOST): | packages-node
	cd tests/hosts && npm install --no-package-lock --no-audit --no-fund

hosts: packages-hosts $(NODE_HOST)
	cmake -S . -B $(BUILD) -DBUILD_TESTING=ON
	cmake --build $(BUILD) -j $(JOBS)
	cd $(BUILD) && GEODESY_REQUIRE_HOSTS=1 ctest --output-on-failure -L hosts

windows: packages-windows $(NODE_HOST)
	cmake -S . -B build-mingw -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
	  -DBUILD_TESTING=ON -DSQLITE3EXT_INCLUDE_DIR=$(CURDIR)/$(AMALGAMATION) \
	  -DGEODESY_SQLITE_AMALGAMATION=$(CURDIR)/$(AMALGAMATION)
	cmake --build build-mingw -j $(JOBS)
	cd build-mingw && ctest --output-on-failure

arm64: packages-arm64 build $(NODE_HOST)
	cmake -S . -B build-arm64 -DCMAKE_TOOLCHAIN_FILE=cmake/aarch64-linux-gnu.cmake \
	  -DBUILD_TESTING=ON -DGEODESY_STATIC=ON -DSQLITE3EXT_INCLUDE_DIR=$(CURDIR)/$(AMALGAMATION) \
	  -DGEODESY_SQLITE_AMALGAMATION=$(CURDIR)/$(AMALGAMATION) \
	  -DGEODESY_NATIVE_MODULE=$(abspath $(BUILD))/geodesy.so
	cmake --build build-arm64 -j $(JOBS)
	cd build-arm64 && ctest --output-on-failure

wasm-sqlite: | packages-node
	@tools/sqlite_amalgamation.sh $(WASM_SQLITE) $(WASM_SQLITE_PACKAGE)

wasm: packages-wasm wasm-sqlite
	$(EMSCRIPTEN_ENV) emcmake cmake -S . -B build-wasm \
	  -DSQLITE_AMALGAMATION_DIR=$(CURDIR)/$(WASM_SQLITE) -DSQLITE3EXT_INCLUDE_DIR=$(CURDIR)/$(WASM_SQLITE)
	$(EMSCRIPTEN_ENV) cmake --build build-wasm -j $(JOBS)
	@ls -l build-wasm/package/sqlite-geodesy.wasm build-wasm/sqlite-geodesy-wasm-$(VERSION).tgz

# Every result bit of the WebAssembly module against the transcription on
# musl's maths functions, then its npm package installed as a user would.
wasm-test: packages-wasm-test wasm
	tests/reference/musl_maths.sh build-wasm/libmusl_maths.so
	$(PYTHON) tests/reference/check_bits.py --musl-maths build-wasm/libmusl_maths.so \
	  --host node tests/hosts/wasm_host.js build-wasm/package
	tests/packages/check_wasm_package.sh build-wasm/sqlite-geodesy-wasm-$(VERSION).tgz

BROWSER_TEST := tests/browser/node_modules/.installed
$(BROWSER_TEST): tests/browser/package.json | packages-node
	cd tests/browser && npm install --no-package-lock --no-audit --no-fund
	touch $@

# The demo page, assembled from the package as a user would serve it, with
# its map's data from npm (installed once into wasm/demo/node_modules).
DEMO_DATA := wasm/demo/node_modules/.installed
$(DEMO_DATA): wasm/demo/package.json | packages-node
	cd wasm/demo && npm install --no-package-lock --no-audit --no-fund
	touch $@

site: packages-site wasm $(DEMO_DATA)
	rm -rf build-wasm/site && mkdir -p build-wasm/site
	cp wasm/demo/index.html wasm/demo/demo.css wasm/demo/demo.js wasm/demo/sql-worker.mjs wasm/demo/offline.js \
	  build-wasm/package/sqlite-geodesy.wasm \
	  build-wasm/package/sqlite-geodesy.mjs build-wasm/package/index.browser.mjs build-wasm/package/worker.mjs \
	  wasm/demo/node_modules/world-atlas/countries-50m.json wasm/demo/node_modules/world-atlas/countries-110m.json \
	  wasm/demo/node_modules/topojson-client/dist/topojson-client.min.js build-wasm/site/
	cp wasm/demo/node_modules/world-atlas/LICENSE build-wasm/site/LICENSE.world-atlas.txt
	cp wasm/demo/node_modules/topojson-client/LICENSE build-wasm/site/LICENSE.topojson-client.txt
	@echo "assembled build-wasm/site; make serve serves it"

serve: packages-serve site
	@echo "serving build-wasm/site at http://127.0.0.1:8000/ (Ctrl+C stops)"
	$(PYTHON) -m http.server --bind 127.0.0.1 --directory build-wasm/site 8000

# The demo page, the package in apps built by each bundler docs/browser.md
# gives (dev servers and Next.js's server too), and its declarations under
# tsc --strict.
browser-test: packages-browser-test site $(BROWSER_TEST)
	node tests/browser/demo_test.js build-wasm/site build-wasm/demo.png
	node tests/browser/storage_test.js build-wasm/package
	node tests/browser/worker_test.js build-wasm/package
	node tests/browser/durable_test.js build-wasm/package chromium firefox
	node tests/browser/apps_test.js build-wasm/sqlite-geodesy-wasm-$(VERSION).tgz
	tests/browser/types_check.sh build-wasm/sqlite-geodesy-wasm-$(VERSION).tgz

# The cluster node, built offline from Debian's Go sources of go-dqlite, with
# the extension linked in (libgeodesy.a, entry point sqlite3_geodesy_init).
GO_ENV := GO111MODULE=off GOPATH=/usr/share/gocode GOCACHE=$(CURDIR)/build-cluster/go-cache \
  CGO_LDFLAGS_ALLOW='-Wl,-z,now' CGO_LDFLAGS='$(CURDIR)/build-cluster/libgeodesy.a -lm'

# The static kit (libgeodesy.a, sqlite3_geodesy.h, sqlite-geodesy.pc) as
# make install lays it out, in a C program that finds it with pkg-config:
# against the system's SQLite, and against one without extension loading,
# which hands the entry point no routine table: nothing may crash.
STATIC_KIT := $(CURDIR)/build-static/kit
static-test: packages-static-test wasm-sqlite
	cmake -S . -B build-static -DGEODESY_STATIC=ON
	cmake --build build-static -j $(JOBS)
	rm -rf $(STATIC_KIT) && cmake --install build-static --prefix $(STATIC_KIT) >/dev/null
	kit=$$(find $(STATIC_KIT) -name sqlite-geodesy.pc -printf '%h') && \
	cc -O1 -o build-static/with_system_sqlite tests/static/linked_program.c \
	  $$(PKG_CONFIG_PATH=$$kit pkg-config --cflags --libs sqlite-geodesy sqlite3) && \
	cc -O1 -DSQLITE_OMIT_LOAD_EXTENSION -DSQLITE_THREADSAFE=0 -I $(WASM_SQLITE) -o build-static/omit_load_extension \
	  tests/static/linked_program.c $(WASM_SQLITE)/sqlite3.c $$(PKG_CONFIG_PATH=$$kit pkg-config --cflags --libs sqlite-geodesy)
	build-static/with_system_sqlite
	build-static/omit_load_extension

# The Go package built as Go users build it, offline from Debian's Go
# sources of mattn/go-sqlite3: go test, then every result bit from a
# program on the system's SQLite and on mattn's compiled-in one without
# extension loading.
go-test: packages-go-test build wasm-sqlite
	tests/packages/check_go.sh $(BUILD)/geodesy.so $(WASM_SQLITE)

# The Ruby gem built from this machine's module, installed with gem
# install --local and used through Debian's sqlite3 gem.
ruby-test: packages-ruby-test build
	rm -rf $(BUILD)/gem && $(PYTHON) packaging/dist.py --version $(VERSION) --out $(BUILD)/gem --only gem \
	  --linux-x86-64 $(BUILD)/geodesy.so
	tests/packages/check_gem.sh $(BUILD)/gem/sqlite_geodesy-$(VERSION)-x86_64-linux.gem $(BUILD)/geodesy.so
	@echo "== the gem built from the tree with gem build, as its gemspec says"
	rm -rf $(BUILD)/gem-tree && mkdir -p $(BUILD)/gem-tree/packaging && \
	  cp -r packaging/ruby packaging/project.json $(BUILD)/gem-tree/packaging/ && cp CMakeLists.txt $(BUILD)/gem-tree/ && \
	  cp $(BUILD)/geodesy.so $(BUILD)/gem-tree/packaging/ruby/lib/sqlite_geodesy/ && \
	  cd $(BUILD)/gem-tree/packaging/ruby && gem build sqlite_geodesy.gemspec --output ../../sqlite_geodesy.gem
	tests/packages/check_gem.sh $(BUILD)/gem-tree/sqlite_geodesy.gem $(BUILD)/geodesy.so

# The Java jar built from this machine's module, with Debian's xerial
# sqlite-jdbc, directly and through a HikariCP pool.
java-test: packages-java-test build
	rm -rf $(BUILD)/jar && $(PYTHON) packaging/dist.py --version $(VERSION) --out $(BUILD)/jar --only jar \
	  --linux-x86-64 $(BUILD)/geodesy.so
	tests/packages/check_jar.sh $(BUILD)/jar/sqlite-geodesy-$(VERSION).jar $(BUILD)/geodesy.so

# The Rust crate built offline from Debian's packaged crates: cargo test,
# then every result bit from a program using it through rusqlite.
rust-test: packages-rust-test build
	tests/packages/check_crate.sh packaging/rust $(BUILD)/geodesy.so

# The module in PHP's SQLite3 class, loaded from sqlite3.extension_dir as
# docs/hosts.md says: every result bit.
php-test: packages-php-test build
	$(PYTHON) tests/reference/check_bits.py $(BUILD)/geodesy.so --native-host \
	  php -d sqlite3.extension_dir=$(abspath $(BUILD)) tests/packages/php_host.php geodesy.so

cluster: packages-cluster
	cmake -S . -B build-cluster -DGEODESY_STATIC=ON
	cmake --build build-cluster -j $(JOBS) --target geodesy_static
	cd cluster && $(GO_ENV) go build -o ../build-cluster/geodesy-node .
	cd bench/cluster_load && $(GO_ENV) go build -o ../../build-cluster/cluster_load .
	@echo "built build-cluster/geodesy-node and build-cluster/cluster_load"

cluster-test: packages-cluster-test build cluster
	cd cluster && $(GO_ENV) go test .
	$(PYTHON) tests/cluster/cluster_test.py build-cluster/geodesy-node $(BUILD)/geodesy.so
	@# rqlite's own JavaScript client, from the npm registry, as users get it.
	npm install --silent --no-audit --no-fund --prefix build-cluster/rqlite-js rqlite-js@2.5.7 @babel/runtime@7
	$(PYTHON) tests/cluster/http_test.py build-cluster/geodesy-node $(BUILD)/geodesy.so build-cluster/rqlite-js \
	  docs/cluster-http.md

# The README's two commands on a bare system, bounded to 30 minutes.
fresh-machine: packages-fresh-machine
	tests/fresh_machine.sh 1800

# Concurrent writes and reads under each fault in turn, checked as Jepsen
# checks dqlite; the partition needs root (network namespaces).
cluster-faults: packages-cluster-faults build cluster
	$(PYTHON) tests/cluster/faults_test.py build-cluster/geodesy-node $(BUILD)/geodesy.so build-cluster/faults

install: build
	cmake --install $(BUILD) --prefix $(PREFIX)
	@# The cluster node, once make cluster has built it; listed in the same
	@# manifest, so that make uninstall removes it too.
	@if [ -x build-cluster/geodesy-node ]; then \
	  install -v -D -m 755 build-cluster/geodesy-node $(DESTDIR)$(PREFIX)/bin/geodesy-node && \
	  sed -i -e '$$a\' $(BUILD)/install_manifest.txt && \
	  echo "$(DESTDIR)$(PREFIX)/bin/geodesy-node" >> $(BUILD)/install_manifest.txt; \
	else echo "-- Not installing geodesy-node: make cluster builds it"; fi

uninstall:
	@test -f $(BUILD)/install_manifest.txt || { \
	  echo "error: $(BUILD)/install_manifest.txt is missing: nothing was installed from $(BUILD)" >&2; exit 1; }
	xargs -d '\n' rm -fv < $(BUILD)/install_manifest.txt
	-rmdir --ignore-fail-on-non-empty $$(xargs -d '\n' -n1 dirname < $(BUILD)/install_manifest.txt | sort -ru)
	@# The documentation folder is the project's own: no empty folder of it stays.
	-sed -n 's|\(.*/share/doc/libsqlite3-mod-geodesy\)/.*|\1|p' $(BUILD)/install_manifest.txt | sort -u | \
	  xargs -r -I{} find {} -depth -type d -empty -delete
	rm -f $(BUILD)/install_manifest.txt

package: packages-package build
	$(PYTHON) packaging/dist.py --version $(VERSION) --out dist --only deb \
	  --linux-x86-64 $(BUILD)/geodesy.so

# Each artefact on its own, with only its own tools; the same bytes as in
# make dist. The npm package holds the modules built so far: this
# machine's, and the aarch64 and Windows ones if make arm64 and
# make windows have run; make dist always has all three.
wheel: packages-wheel build
	$(PYTHON) packaging/dist.py --version $(VERSION) --out dist --only wheel \
	  --linux-x86-64 $(BUILD)/geodesy.so

npm: packages-npm build
	$(PYTHON) packaging/dist.py --version $(VERSION) --out $(BUILD)/npm --only npm \
	  --linux-x86-64 $(BUILD)/geodesy.so \
	  $(if $(wildcard build-arm64/geodesy.so),--linux-aarch64 build-arm64/geodesy.so) \
	  $(if $(wildcard build-mingw/geodesy.dll),--windows-x86-64 build-mingw/geodesy.dll)

# The modules of dist are the ones that make test, make windows and
# make arm64 checked.
dist: packages-dist build windows arm64 wasm
	rm -rf dist
	$(PYTHON) packaging/dist.py --version $(VERSION) --out dist \
	  --linux-x86-64 $(BUILD)/geodesy.so --linux-aarch64 build-arm64/geodesy.so \
	  --windows-x86-64 build-mingw/geodesy.dll --linux-x86-64-static $(BUILD)/libgeodesy.a \
	  --linux-aarch64-static build-arm64/libgeodesy.a \
	  --sqlite-headers $(CURDIR)/$(WASM_SQLITE) --wasm-npm build-wasm/sqlite-geodesy-wasm-$(VERSION).tgz

check-dist: packages-check-dist
	tests/packages/check_dist.sh $(VERSION) dist
	tests/packages/leaves_system_test.sh $(VERSION) dist $(BUILD)
	tests/packages/check_wasm_package.sh dist/sqlite-geodesy-wasm-$(VERSION).tgz
	tests/packages/check_reproducible.sh dist

bench-build: packages-bench
	cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DGEODESY_BENCH=ON
	cmake --build build-bench -j $(JOBS)

bench: bench-build
	build-bench/bench/solver_bench --benchmark_min_time=1
	build-bench/bench/sql_bench build-bench/geodesy.so
	build-bench/bench/radius_bench build-bench/geodesy.so examples/recipes/radius-query.sql

# The cluster's failover, spurious elections and idle CPU by --network-latency.
bench-cluster: packages-cluster-test cluster
	$(PYTHON) bench/cluster_bench.py build-cluster/geodesy-node
	$(PYTHON) bench/cluster_load.py build-cluster/geodesy-node build-cluster/cluster_load

# Beside PostGIS in a throwaway server (a Unix socket in a temporary folder).
bench-postgis: packages-bench-postgis bench-build
	$(PYTHON) bench/postgis_bench.py build-bench/bench/postgis_bench build-bench/geodesy.so

# The WebAssembly module against the native one, both under Node.js.
bench-wasm: packages-bench-wasm bench-build wasm $(NODE_HOST) $(BROWSER_TEST)
	node bench/wasm_bench.js build-wasm/package build-bench/geodesy.so
	node bench/wasm_browser_bench.js build-wasm/package build-bench/geodesy.so

accuracy: packages-accuracy bench-build
	mkdir -p build-bench/accuracy
	build-bench/accuracy/accuracy build-bench/accuracy
	build-bench/accuracy/antipodal_band build-bench/accuracy
	build-bench/accuracy/band_edges build-bench/accuracy
	build-bench/accuracy/worst_cases build-bench/accuracy accuracy/claims.tsv
	gnuplot -e "data='build-bench/accuracy/antipodal-band.dat'; out='docs/antipodal-band.png'" \
	  accuracy/antipodal-band.gp
	$(PYTHON) accuracy/libm_variants.py build-bench/geodesy.so > build-bench/accuracy/libm-variants.md
	cat build-bench/accuracy/libm-variants.md
	$(PYTHON) accuracy/statements.py build-bench/geodesy.so > build-bench/accuracy/statements.md
	cat build-bench/accuracy/statements.md
	@echo "tables: build-bench/accuracy/*.md, picture: docs/antipodal-band.png"
	$(PYTHON) accuracy/check_claims.py build-bench/accuracy
	$(PYTHON) accuracy/check_figures.py build-bench/accuracy

clean:
	rm -rf $(BUILD) build-asan build-tsan build-fuzz build-mingw build-arm64 build-bench build-wasm \
	  build-cluster build-static build-go build-rust dist

help:
	@sed -n 's/^#   make /make /p' Makefile
