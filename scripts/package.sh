#!/usr/bin/env bash
# Builds the Debian package: a Release build with Qt 5 in build-package/ (tests
# and benchmarks left out), then CPack's DEB generator. The package lands in
# build-package/, named kwn-frame-builder_<version>_<arch>.deb.
# Needs dpkg-dev (dpkg-shlibdeps computes the dependencies) besides the build tools.
# BUILD_DIR picks another build folder; extra arguments go to CMake's configure step.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build-package}

command -v dpkg-shlibdeps >/dev/null || { echo "dpkg-shlibdeps not found (install dpkg-dev)" >&2; exit 1; }

# Debian's own build flags with every hardening feature (stack protector,
# fortified functions, read-only relocations bound at start).
cd "$root"
cxxflags="$(DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --get CPPFLAGS) $(DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --get CXXFLAGS)"
ldflags=$(DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --get LDFLAGS)

# The prefix the package installs to, so that the library folder is Debian's
# (lib/<arch>), where Wireshark looks for kwn-extcap and the dissector.
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
    -DCMAKE_CXX_FLAGS="$cxxflags" -DCMAKE_EXE_LINKER_FLAGS="$ldflags" \
    -DKWN_QT_MAJOR=5 -DKWN_BUILD_TESTS=OFF -DKWN_BUILD_BENCH=OFF "$@" >/dev/null
cmake --build "$build" --parallel "$(nproc)"
# Only this build's package, so an old one cannot be mistaken for it.
rm -f "$build"/*.deb
(cd "$build" && cpack -G DEB)

deb=$(ls "$build"/*.deb)
echo "Package: $deb"
if command -v lintian >/dev/null; then
    lintian --info "$deb" || true
fi
