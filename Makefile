# Two commands for a fresh Debian 12 machine (run as root or with sudo available):
#   make run    install what is needed, build and start the local demo with the program
#   make test   install what is needed, build and run every test
# Also: make demo / demo-stop (the demo without the package step), make package (.deb),
# make package-check (the .deb judged by lintian, desktop-file-validate and appstreamcli).
BUILD ?= build
DEMO_BUILD ?= build-demo
PACKAGE_BUILD ?= build-package
# The demo's loopback ports are compiled into the demo build of the program.
DEMO_SFTP_PORT ?= 24022
DEMO_WEB_PORT ?= 24080
# Release number the demo's web server answers; 2.4.1 makes the program offer an update.
DEMO_RELEASE ?= 2.4.0
SUDO := $(shell [ "$$(id -u)" = 0 ] || echo sudo)
PACKAGES := cmake g++ make pkg-config libwxgtk3.2-dev libssh-dev libssl-dev libcurl4-openssl-dev \
    libcups2-dev libgtest-dev googletest cups cups-client cups-bsd cups-daemon \
    openssh-server openssh-client sshpass xvfb x11-utils xdotool python3 ca-certificates \
    libx11-dev imagemagick util-linux dpkg-dev file proftpd-core proftpd-mod-crypto \
    at-spi2-core dbus-daemon python3-gi gir1.2-atspi-2.0 libgtk-3-dev

.PHONY: deps build run demo demo-build demo-stop package test clean

# APT_UPDATE=no skips the package-list update (CI updates once, before everything else).
APT_UPDATE ?= yes

# Installs the packages $(1) for a target of its own; the package lists are updated first
# only when there are none yet (`make deps` updates them).
define apt_install
	ls /var/lib/apt/lists/*_Packages >/dev/null 2>&1 || $(SUDO) apt-get update
	$(call install_without_services,$(1))
endef

# Installs $(1) without starting the services the packages bring (proftpd-core would start
# a system FTP server; the tests start servers of their own): a policy-rc.d that refuses,
# for the time of the installation, unless the machine has one already.
define install_without_services
	if [ -e /usr/sbin/policy-rc.d ]; then \
	    DEBIAN_FRONTEND=noninteractive $(SUDO) apt-get install -y $(1); \
	else \
	    printf '#!/bin/sh\nexit 101\n' | $(SUDO) tee /usr/sbin/policy-rc.d >/dev/null && \
	    $(SUDO) chmod 755 /usr/sbin/policy-rc.d && \
	    { DEBIAN_FRONTEND=noninteractive $(SUDO) apt-get install -y $(1); status=$$?; \
	      $(SUDO) rm -f /usr/sbin/policy-rc.d; exit $$status; }; \
	fi
endef

deps:
	[ "$(APT_UPDATE)" = no ] || $(SUDO) apt-get update
	$(call install_without_services,$(PACKAGES))

build:
	cmake -S . -B $(BUILD)
	cmake --build $(BUILD) -j$$(nproc)

run: deps demo

demo-build:
	cmake -S . -B $(DEMO_BUILD) -DBUILD_TESTING=OFF -DCORVANE_SFTP_HOST=127.0.0.1 \
	    -DCORVANE_SFTP_PORT=$(DEMO_SFTP_PORT) \
	    -DCORVANE_WEB_BASE_URL=http://127.0.0.1:$(DEMO_WEB_PORT)
	cmake --build $(DEMO_BUILD) -j$$(nproc)

demo: demo-build
	$(SUDO) env $${DISPLAY:+DISPLAY="$$DISPLAY"} $${XAUTHORITY:+XAUTHORITY="$$XAUTHORITY"} \
	    tools/demo/demo start \
	    --program $(DEMO_BUILD)/corvane-print-spooler --sftp-port $(DEMO_SFTP_PORT) \
	    --web-port $(DEMO_WEB_PORT) --release $(DEMO_RELEASE)

demo-stop:
	$(SUDO) tools/demo/demo stop

# The .deb: Debian's build flags with every hardening feature (PIE, stack protector,
# FORTIFY, RELRO, BIND_NOW), no update check of its own (apt brings the updates), no tests.
DEB_BUILDFLAGS = DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --get
package:
	cmake -S . -B $(PACKAGE_BUILD) -DBUILD_TESTING=OFF -DCMAKE_BUILD_TYPE=None \
	    -DCORVANE_UPDATE_CHECK=OFF \
	    -DCMAKE_CXX_FLAGS="$$($(DEB_BUILDFLAGS) CPPFLAGS) $$($(DEB_BUILDFLAGS) CXXFLAGS)" \
	    -DCMAKE_EXE_LINKER_FLAGS="$$($(DEB_BUILDFLAGS) LDFLAGS)"
	cmake --build $(PACKAGE_BUILD) -j$$(nproc)
	rm -f $(PACKAGE_BUILD)/*.deb
	cd $(PACKAGE_BUILD) && cpack -G DEB
	@ls $(PACKAGE_BUILD)/*.deb

# The package as Debian's tools judge it: lintian without errors or warnings (its
# informational tags are printed), the menu entries and the AppStream metadata valid.
PACKAGE_CHECK_PACKAGES := lintian desktop-file-utils appstream

.PHONY: package-deps package-check
package-deps:
	$(call apt_install,$(PACKAGE_CHECK_PACKAGES))

package-check: package-deps package
	lintian -EviIL +pedantic --fail-on error,warning $(PACKAGE_BUILD)/*.deb
	desktop-file-validate packaging/corvane-print-spooler.desktop \
	    packaging/corvane-print-spooler-autostart.desktop
	appstreamcli validate --no-net $(PACKAGE_BUILD)/packaging/corvane-print-spooler.metainfo.xml

test: deps
	tools/run-tests.sh $(BUILD)

clean:
	rm -rf $(BUILD) $(DEMO_BUILD) $(PACKAGE_BUILD) $(WINDOWS_BUILD) build-address build-thread \
	    build-fuzz $(BENCH_BUILD)

# The soak: about a thousand documents over five minutes to the running program, each
# counted; prints its figures (tests/soak/soak.py). Needs what `make deps` installs. The
# fault matrix runs in `make test`.
.PHONY: soak
soak:
	CORVANE_SOAK=1 tools/run-tests.sh $(BUILD) -L soak -V

# Benchmark of the pickup against OpenSSH's sftp on this machine (not part of the tests):
#   make bench   prints a table and writes $(BENCH_BUILD)/bench-results.csv (and .md);
#   BENCH_ARGS="--only latency,burst,backlog" runs only those sets
BENCH_BUILD ?= build-bench
BENCH_PACKAGES := cmake g++ make pkg-config libwxgtk3.2-dev libssh-dev libssl-dev \
    libcurl4-openssl-dev libcups2-dev openssh-server openssh-client sshpass python3 procps passwd \
    cups-daemon cups-client

.PHONY: bench bench-deps

bench-deps:
	$(call apt_install,$(BENCH_PACKAGES))

bench: bench-deps
	cmake -S . -B $(BENCH_BUILD) -DCORVANE_BENCH=ON -DBUILD_TESTING=OFF -DCMAKE_BUILD_TYPE=Release
	cmake --build $(BENCH_BUILD) -j$$(nproc) --target corvane-pickup-agent corvane-listing-client
	$(SUDO) python3 bench/run_bench.py --agent $(BENCH_BUILD)/bench/corvane-pickup-agent \
	    --lister $(BENCH_BUILD)/bench/corvane-listing-client --out $(BENCH_BUILD)/bench-results.csv \
	    $(BENCH_ARGS)

# Sanitizer builds and fuzzing (tools/sanitize/): a sanitizer report or a fuzz finding
# fails the run. `make sanitize`: the whole suite with AddressSanitizer and
# UndefinedBehaviorSanitizer, then the thread tests with ThreadSanitizer. `make fuzz`: each
# libFuzzer target (tests/fuzz) for FUZZ_SECONDS from its kept corpus (the three
# together with the sanitizer runs stay within about 15 minutes on two cores).
SANITIZE_PACKAGES := $(PACKAGES) clang libclang-rt-14-dev
FUZZ_SECONDS ?= 40

.PHONY: sanitize-deps sanitize fuzz

sanitize-deps:
	$(call apt_install,$(SANITIZE_PACKAGES))

sanitize: sanitize-deps
	tools/sanitize/run.sh address
	tools/sanitize/run.sh thread

fuzz: sanitize-deps
	tools/sanitize/fuzz.sh $(FUZZ_SECONDS)

# Windows: the .exe, its test programs and the MSI, cross-built with MinGW-w64 against
# static libraries built once from Debian's sources into the user's cache folder
# (tools/windows/deps.sh), and the tests run under Wine on a private X display.
#   make windows        packages, deb-src entry, libraries, .exe, tests and installer
#   make windows-test   the above, then the Windows tests under Wine
WINDOWS_BUILD ?= build-windows
WINDOWS_PACKAGES := wine wine64 g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix \
    wixl msitools dpkg-dev cmake make pkg-config googletest xvfb x11-utils xdotool \
    imagemagick python3 openssh-server openssh-client cups cups-daemon cups-client \
    ca-certificates icoutils openssl osslsigncode locales

.PHONY: windows-sources windows-deps windows windows-test

# The deb-src entry alone, without a package-list update: CI adds it before `make test`
# runs the one update of the run.
windows-sources:
	$(SUDO) tools/windows/deb-src.sh --no-update

windows-deps:
	@added=$$($(SUDO) tools/windows/deb-src.sh --no-update); \
	if [ "$$added" = added ] || ! ls /var/lib/apt/lists/*_Packages* >/dev/null 2>&1 || \
	    ! ls /var/lib/apt/lists/*_Sources* >/dev/null 2>&1; then \
	    $(SUDO) apt-get update; \
	fi
	DEBIAN_FRONTEND=noninteractive $(SUDO) apt-get install -y $(WINDOWS_PACKAGES)
	$(SUDO) tools/windows/locales.sh

# PRINT_PROGRAM=/path/SumatraPDF.exe and MAPPING_SCRIPT=/path/mapwebdav.vbs put those into the
# MSI (as sumatraPDF.exe and scripts\mapwebdav.vbs); without them it carries neither.
# SIGN_CERT=cert.pem SIGN_KEY=key.pem (and SIGN_TIMESTAMP_URL=http://timestamp.server)
# sign the program and then the MSI; without them both stay unsigned.
windows: windows-deps
	BUILD_DIR=$(WINDOWS_BUILD) PRINT_PROGRAM="$(PRINT_PROGRAM)" MAPPING_SCRIPT="$(MAPPING_SCRIPT)" \
	    SIGN_CERT="$(SIGN_CERT)" SIGN_KEY="$(SIGN_KEY)" SIGN_TIMESTAMP_URL="$(SIGN_TIMESTAMP_URL)" \
	    tools/windows/cross-build.sh deps configure build

windows-test: windows
	BUILD_DIR=$(WINDOWS_BUILD) tools/windows/cross-build.sh test
