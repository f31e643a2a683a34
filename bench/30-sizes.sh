#!/usr/bin/env bash
# Stripped sizes on armhf of what the Debian package ships: vorn_cli and the
# three plug-ins, each against the smallest program (or shared library) of
# the same kind built by the same toolchain with the same size flags.
#
# Uses build/armhf when it has been configured (scripts/cross-armhf makes
# it), and otherwise prepares the armhf library folder and configures it.
# Only the shipped targets are (re)built; no tests run.
set -euo pipefail
cd "$(dirname "$0")/.."
top="$PWD"
build="$top/build/armhf"
cxx=arm-linux-gnueabihf-g++
strip=arm-linux-gnueabihf-strip

if ! command -v "$cxx" >/dev/null; then
  echo "(armhf sizes row skipped: $cxx is missing, scripts/setup-deps --cross)"
  exit 0
fi
if [ ! -f "$build/build.ninja" ]; then
  scripts/cross-armhf --sysroot-only >/dev/null
  cmake --preset armhf >/dev/null
fi
targets=(vorn_cli vorn_operator_docs)
# Read the list whole: grep -q leaving the pipe early would fail it (pipefail).
known="$(ninja -C "$build" -t targets all 2>/dev/null || true)"
for plugin in vorn_governor_plugin vorn_delay_plugin vorn_sound_meter_plugin; do
  if grep -q "^$plugin:" <<<"$known"; then
    targets+=("$plugin")
  fi
done
cmake --build "$build" -j2 --target "${targets[@]}" >/dev/null

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cmake --install "$build" --strip --component runtime --prefix "$work/root" \
  >/dev/null

# Peers: an empty C++ program and a one-function C++ shared library, with
# the flags of a Release build (cmake/VornSize.cmake adds the section flags).
# shellcheck disable=SC2054  # -Wl,--gc-sections is one word
flags=(-O3 -DNDEBUG -ffunction-sections -fdata-sections -Wl,--gc-sections)
printf 'int main() { return 0; }\n' >"$work/empty.cc"
printf 'extern "C" int Create() { return 1; }\n' >"$work/lib.cc"
"$cxx" "${flags[@]}" "$work/empty.cc" -o "$work/empty"
"$cxx" "${flags[@]}" -fPIC -shared -fvisibility=hidden "$work/lib.cc" \
  -o "$work/lib.so"
"$strip" "$work/empty" "$work/lib.so"

bytes() { stat -c %s "$1"; }
row() {  # name file peer-file
  local size peer
  size="$(bytes "$2")"
  peer="$(bytes "$3")"
  awk -v n="$1" -v s="$size" -v p="$peer" \
    'BEGIN { printf "%-34s %11d %11d %8.1fx\n", n, s, p, s / p }'
}

build_type="$(grep -m1 '^CMAKE_BUILD_TYPE:' "$build/CMakeCache.txt" | cut -d= -f2)"
echo "== armhf stripped sizes in bytes (build/armhf, $build_type), against an empty program / library"
printf "%-34s %11s %11s %9s\n" "file" "bytes" "empty" "ratio"
row "vorn_cli" "$work/root/libexec/vorn/vorn_cli" "$work/empty"
for so in "$work"/root/lib*/vorn/libvorn_*.so; do
  [ -e "$so" ] || continue
  row "$(basename "$so")" "$so" "$work/lib.so"
done
