# Thin front end over scripts/install-deps and the CMake presets.
JOBS ?= $(shell nproc)
# Where `make install` puts sorvik.
PREFIX ?= /usr/local
# What installing and packaging need built; the rest of a build is tests and benchmarks.
INSTALLED_TARGETS = sorvik nightporter sorvik_media sorvik_icons sorvik_documents

.PHONY: all deps build test run bench asan release install deb clean

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

# The window when there is a display to show it on; otherwise the command line's demo.
run: build
	@if [ -n "$$DISPLAY" ] || [ -n "$$WAYLAND_DISPLAY" ]; then \
		build/dev/bin/sorvik; \
	else \
		echo "make run: there is no display to show sorvik's window on, so this shows its command line instead."; \
		scripts/run-demo build/dev/bin/sorvik; \
	fi

release: deps
	cmake --preset release
	cmake --build --preset release -j $(JOBS) --target $(INSTALLED_TARGETS)

# Installs into $(PREFIX) (asking for sudo where it cannot write), then tells the desktop
# about the new entry, file type and icon.
install: release
	@if [ -w "$(PREFIX)" ] || { [ ! -e "$(PREFIX)" ] && [ -w "$$(dirname "$(PREFIX)")" ]; }; then \
		sudo=; else sudo=sudo; fi; \
	$$sudo cmake --install build/release --prefix "$(PREFIX)" || exit 1; \
	if command -v update-mime-database >/dev/null; then \
		$$sudo update-mime-database "$(PREFIX)/share/mime" || true; fi; \
	if command -v update-desktop-database >/dev/null; then \
		$$sudo update-desktop-database -q "$(PREFIX)/share/applications" || true; fi; \
	if command -v gtk-update-icon-cache >/dev/null; then \
		$$sudo gtk-update-icon-cache -q -t -f "$(PREFIX)/share/icons/hicolor" || true; fi

# The Debian package, in build/release; install it with `sudo apt install ./build/release/sorvik_*.deb`.
deb: release
	cd build/release && cpack -G DEB

clean:
	rm -rf build
