# Thin wrapper over CMake. `make run` plays the game, `make test` runs every test.
# `make install PREFIX=/usr/local` (DESTDIR honoured) installs it; `make package`
# builds a .deb in build/release/package/. `make windows` cross-builds the
# Windows program into build/windows/Kelvora3D-<version>-win64.zip. `make sdk`
# installs the engine for other games, `make docs` builds its API reference.
JOBS ?= 2
RELEASE := build/release
PREFIX ?= /usr/local

.PHONY: deps deps-all build run install package windows test bench fuzz clean web serve-web docs sdk server

# What builds and runs the game; the test and benchmark tools come with deps-all.
deps:
	@./scripts/install-deps.sh build

deps-all:
	@./scripts/install-deps.sh all

build: deps
	cmake -S . -B $(RELEASE) -DCMAKE_BUILD_TYPE=Release -DKV_TESTS=OFF -DKV_BENCH=OFF >/dev/null
	cmake --build $(RELEASE) -j$(JOBS) --target kelvora3d

run: build
	./$(RELEASE)/kelvora3d

install: build
	cmake --install $(RELEASE) --prefix $(PREFIX)

# The engine alone for other games: headers, libraries, CMake package and
# kelvora.pc under PREFIX (DESTDIR honoured); nothing of the game.
sdk: deps
	cmake -S . -B $(RELEASE) -DCMAKE_BUILD_TYPE=Release -DKV_TESTS=OFF -DKV_BENCH=OFF >/dev/null
	cmake --build $(RELEASE) -j$(JOBS) --target kv_sdk
	cmake --install $(RELEASE) --component sdk --prefix $(PREFIX)

# The score server, build/release/server/kelvora3d-scores (see the README's
# "Running a score server").
server:
	@./scripts/install-deps.sh server
	cmake -S . -B $(RELEASE) -DCMAKE_BUILD_TYPE=Release -DKV_TESTS=OFF -DKV_BENCH=OFF -DKV_SERVER=ON >/dev/null
	cmake --build $(RELEASE) -j$(JOBS) --target kelvora3d-scores

package: build
	@./scripts/install-deps.sh package
	cd $(RELEASE) && cpack -G DEB -B package
	@ls -l $(RELEASE)/package/*.deb

windows:
	@./scripts/make-windows.sh

test: deps-all
	./scripts/run-tests.sh

bench: deps-all
	./scripts/run-benchmarks.sh

# Longer fuzzing from random seeds (FUZZ_SECONDS per target, default 600);
# make test runs each target's committed corpus from a fixed seed instead.
fuzz: deps-all
	./scripts/fuzz.sh long $(or $(FUZZ_SECONDS),600)

# The game as a web page in build/web/ (emscripten; the libraries are built
# once into a cache outside the tree). `make serve-web` serves it on 127.0.0.1.
web:
	@./scripts/install-deps.sh web
	./scripts/build-web.sh

serve-web: web
	./scripts/serve-web.py --port $(or $(PORT),8080)

# The engine's API reference in build/docs/html; any Doxygen warning fails.
docs:
	@./scripts/install-deps.sh docs
	./scripts/make-docs.sh

clean:
	rm -rf build
