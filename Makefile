# Thin front end over scripts/install-deps and the CMake presets.
JOBS ?= $(shell nproc)

.PHONY: all deps build test run bench asan clean

all: build

deps:
	scripts/install-deps

build: deps
	cmake --preset dev
	cmake --build --preset dev -j $(JOBS)

test: build
	ctest --preset dev -j $(JOBS)

asan: deps
	cmake --preset asan
	cmake --build --preset asan -j $(JOBS)
	ctest --preset asan -j $(JOBS)

bench: deps
	cmake --preset release
	cmake --build --preset release -j $(JOBS)

run: build
	scripts/run-demo build/dev/app/sorvik

clean:
	rm -rf build
