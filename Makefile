# The two commands of the README:
#   make run    set up this machine, build, and start the program
#   make test   set up this machine, build, and run every test headless,
#               the package test on the packages of make deb among them
# and make deb, the Debian packages kestrel and flvmdi in build/deb/.
BUILD ?= build
APP_DIR := $(BUILD)/kestrel-app
DEB_DIR := $(BUILD)/deb
JOBS ?= $(shell nproc)

.PHONY: run test setup compile format install deb

run: setup compile
	$(APP_DIR)/kestrel

# The packages' own build runs no tests here: the suite runs them all.
test: setup compile
	$(MAKE) deb DEB_BUILD_OPTIONS=nocheck
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

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
