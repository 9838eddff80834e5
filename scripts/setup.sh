#!/usr/bin/env bash
# Shared by run.sh and test.sh: install what is missing (Debian 12), configure, build.
set -euo pipefail

# After python3, five check and build the packages: the desktop entry and metadata validators,
# the manual page renderer, dpkg-shlibdeps for the .deb's dependencies; clang-format checks the
# code; pdftotext reads back the printed pages. The last five run the end-to-end journeys: an X server, a window manager, X input, the
# clipboard and window properties (xdpyinfo, xprop, xwininfo).
packages=(cmake g++ ninja-build pkg-config qt6-base-dev libicu-dev libcanberra-dev python3
  desktop-file-utils appstream groff-base dpkg-dev clang-format poppler-utils
  xvfb openbox xdotool xclip x11-utils)

"$(dirname "${BASH_SOURCE[0]}")/install_packages.sh" "${packages[@]}"

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
# DIRKA_SANITIZE=1: AddressSanitizer and UndefinedBehaviorSanitizer, in a build folder of their own.
# DIRKA_TSAN=1: ThreadSanitizer, for the tests of the walk and its read-ahead threads only.
targets=()
if [ "${DIRKA_SANITIZE:-0}" = 1 ]; then
  build="$root/build-sanitize"
  flags=(-DCMAKE_BUILD_TYPE=RelWithDebInfo
         "-DCMAKE_CXX_FLAGS=-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined"
         "-DCMAKE_EXE_LINKER_FLAGS=-fsanitize=address,undefined")
elif [ "${DIRKA_TSAN:-0}" = 1 ]; then
  build="$root/build-tsan"
  flags=(-DCMAKE_BUILD_TYPE=RelWithDebInfo "-DCMAKE_CXX_FLAGS=-fsanitize=thread"
         "-DCMAKE_EXE_LINKER_FLAGS=-fsanitize=thread")
  targets=(--target tst_folder_walker tst_file_system tst_listing_run)
else
  build="$root/build"
  flags=(-DCMAKE_BUILD_TYPE=Release)
fi
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S "$root" -B "$build" -G Ninja "${flags[@]}" >/dev/null
fi
if ! log=$(cmake --build "$build" -j2 "${targets[@]}" 2>&1); then
  printf '%s\n' "$log" >&2
  exit 1
fi
