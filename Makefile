# Thin wrapper over CMake. `make run` plays the game, `make test` runs every test.
JOBS ?= 2
RELEASE := build/release

.PHONY: deps build run test bench clean

deps:
	@./scripts/install-deps.sh

build: deps
	cmake -S . -B $(RELEASE) -DCMAKE_BUILD_TYPE=Release -DKV_TESTS=OFF -DKV_BENCH=OFF >/dev/null
	cmake --build $(RELEASE) -j$(JOBS) --target kelvora3d

run: build
	./$(RELEASE)/kelvora3d

test: deps
	./scripts/run-tests.sh

bench: deps
	./scripts/run-benchmarks.sh

clean:
	rm -rf build
