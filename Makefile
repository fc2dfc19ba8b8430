# The two commands of the README:
#   make run    set up this machine, build, and start the program
#   make test   set up this machine, build, and run every test headless
BUILD ?= build
APP_DIR := $(BUILD)/kestrel-app
JOBS ?= $(shell nproc)

.PHONY: run test setup compile format install

run: setup compile
	$(APP_DIR)/kestrel

test: setup compile
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

setup:
	bash scripts/setup.sh

compile:
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(BUILD) -j $(JOBS)

install: compile
	cmake --install $(BUILD)

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i
