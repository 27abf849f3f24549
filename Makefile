# Front door of the build. `make check` and `make demo` do all set-up themselves.
JOBS ?= $(shell nproc)

.PHONY: all bootstrap build build-asan check check-default check-asan demo format clean

all: build

bootstrap:
	@scripts/bootstrap.sh

build: bootstrap
	cmake --preset default
	cmake --build --preset default -j $(JOBS)

build-asan: bootstrap
	cmake --preset asan
	cmake --build --preset asan -j $(JOBS)

check-default: build
	ctest --preset default -j $(JOBS)

check-asan: build-asan
	ctest --preset asan -j $(JOBS)

check: check-default check-asan

demo: build
	scripts/demo.sh

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf build
