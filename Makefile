# Two commands for a fresh Debian 12 machine (run as root or with sudo available):
#   make run    install what is needed, build and start the program
#   make test   install what is needed, build and run every test
BUILD ?= build
SUDO := $(shell [ "$$(id -u)" = 0 ] || echo sudo)
PACKAGES := cmake g++ make pkg-config libwxgtk3.2-dev libssh-dev libcurl4-openssl-dev \
    libcups2-dev libgtest-dev googletest cups cups-client cups-bsd cups-daemon \
    openssh-server openssh-client sshpass xvfb x11-utils xdotool python3 ca-certificates

.PHONY: deps build run test clean

deps:
	$(SUDO) apt-get update
	DEBIAN_FRONTEND=noninteractive $(SUDO) apt-get install -y $(PACKAGES)

build:
	cmake -S . -B $(BUILD)
	cmake --build $(BUILD) -j$$(nproc)

run: deps build
	cd $(BUILD) && ./corvane-print-spooler

test: deps
	tools/run-tests.sh $(BUILD)

clean:
	rm -rf $(BUILD)
