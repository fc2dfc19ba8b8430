# The two commands of the README:
#   make run    set up this machine, build, and start the program
#   make test   set up this machine, build, and run every test headless
# and make deb, the Debian packages kestrel and flvmdi in build/deb/, and
# make check-packages, the tests of those packages on Debian 12 and 13.
BUILD ?= build
APP_DIR := $(BUILD)/kestrel-app
DEB_DIR := $(BUILD)/deb
JOBS ?= $(shell nproc)

.PHONY: run test setup compile format install deb check-packages

run: setup compile
	$(APP_DIR)/kestrel

test: setup compile
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

# The packages' own build runs no tests here: make test runs them all.
check-packages:
	$(MAKE) deb DEB_BUILD_OPTIONS=nocheck
	bash tests/package/check_package.sh $(DEB_DIR)
	bash tests/package/other_release.sh $(DEB_DIR)

setup:
	bash scripts/setup.sh

compile:
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(BUILD) -j $(JOBS)

install: compile
	cmake --install $(BUILD)

# dpkg-buildpackage writes beside the tree it builds: it builds a copy of the
# committed tree, kept as src.tar for the package test's second build.
deb:
	rm -rf $(DEB_DIR) && mkdir -p $(DEB_DIR)/src
	git archive -o $(DEB_DIR)/src.tar HEAD && tar -x -f $(DEB_DIR)/src.tar -C $(DEB_DIR)/src
	bash scripts/setup.sh deb $(DEB_DIR)/src
	cd $(DEB_DIR)/src && bash -o pipefail -c 'dpkg-buildpackage -us -uc -b -J$(JOBS) 2>&1 | tee ../build.log'

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i
