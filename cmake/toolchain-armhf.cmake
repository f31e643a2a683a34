# Cross toolchain for armhf: 32-bit ARM, hard-float ABI (Debian's
# arm-linux-gnueabihf gcc from crossbuild-essential-armhf).
#
#   cmake -S . -B build/armhf -G Ninja \
#         -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-armhf.cmake
#   (or: cmake --preset armhf; scripts/cross-armhf does all of it)
#
# Libraries come from an armhf library folder (default
# build/armhf-sysroot/root, override with -DVORN_ARMHF_SYSROOT=... or the
# environment variable of the same name) that scripts/cross-armhf fills with
# Debian's armhf packages unpacked by dpkg -x and a cross-built GoogleTest.
# The compiler keeps its own C library (/usr/arm-linux-gnueabihf); the folder
# only adds headers, libraries and pkg-config files.
#
# Programs built here run on the build machine through
# CMAKE_CROSSCOMPILING_EMULATOR ("qemu-arm -L <folder>"); VORN_EMULATOR holds
# the same command as one blank-separated string for tests that start
# vorn_cli themselves.
#
# VORN_NEON (OFF by default): the armhf baseline promises VFPv3-D16 only, so
# NEON is opt-in and adds -mfpu=neon.

set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR arm)
set(CMAKE_LIBRARY_ARCHITECTURE arm-linux-gnueabihf)

set(CMAKE_C_COMPILER arm-linux-gnueabihf-gcc)
set(CMAKE_CXX_COMPILER arm-linux-gnueabihf-g++)

if(NOT VORN_ARMHF_SYSROOT)
  if(DEFINED ENV{VORN_ARMHF_SYSROOT})
    set(VORN_ARMHF_SYSROOT "$ENV{VORN_ARMHF_SYSROOT}")
  else()
    get_filename_component(VORN_ARMHF_SYSROOT
      "${CMAKE_CURRENT_LIST_DIR}/../build/armhf-sysroot/root" ABSOLUTE)
  endif()
endif()
set(VORN_ARMHF_SYSROOT "${VORN_ARMHF_SYSROOT}" CACHE PATH
    "armhf library folder (Debian armhf packages unpacked with dpkg -x)")
set(VORN_NEON OFF CACHE BOOL "Build for ARM cores with NEON (-mfpu=neon)")
# try_compile() projects read this file again; hand them the same settings.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES VORN_ARMHF_SYSROOT VORN_NEON)

set(vorn_armhf_libdir "${VORN_ARMHF_SYSROOT}/usr/lib/arm-linux-gnueabihf")

# Headers of the folder come after the compiler's own; -isystem keeps their
# warnings out of -Werror builds.
set(vorn_armhf_flags "-isystem ${VORN_ARMHF_SYSROOT}/usr/include")
if(VORN_NEON)
  string(APPEND vorn_armhf_flags " -mfpu=neon")
endif()
set(CMAKE_C_FLAGS_INIT "${vorn_armhf_flags}")
set(CMAKE_CXX_FLAGS_INIT "${vorn_armhf_flags}")

# The folder's libraries need one another (libsndfile its codecs, libprotobuf
# zlib): -rpath-link lets the linker resolve those without a full sysroot.
set(vorn_armhf_link
    "-L${vorn_armhf_libdir} -Wl,-rpath-link,${vorn_armhf_libdir} -Wl,-rpath-link,${VORN_ARMHF_SYSROOT}/lib/arm-linux-gnueabihf")
set(CMAKE_EXE_LINKER_FLAGS_INIT "${vorn_armhf_link}")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "${vorn_armhf_link}")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "${vorn_armhf_link}")

# find_package/find_library look in the folder (then the compiler's own
# sysroot); programs such as protoc are the build machine's.
set(CMAKE_FIND_ROOT_PATH "${VORN_ARMHF_SYSROOT}" /usr/arm-linux-gnueabihf)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# pkg-config: only the folder's .pc files, their paths moved into the folder.
set(ENV{PKG_CONFIG_LIBDIR}
    "${vorn_armhf_libdir}/pkgconfig:${VORN_ARMHF_SYSROOT}/usr/share/pkgconfig")
set(ENV{PKG_CONFIG_SYSROOT_DIR} "${VORN_ARMHF_SYSROOT}")
unset(ENV{PKG_CONFIG_PATH})

find_program(VORN_QEMU_ARM qemu-arm)
if(VORN_QEMU_ARM)
  set(CMAKE_CROSSCOMPILING_EMULATOR "${VORN_QEMU_ARM};-L;${VORN_ARMHF_SYSROOT}")
  string(REPLACE ";" " " VORN_EMULATOR "${CMAKE_CROSSCOMPILING_EMULATOR}")
endif()
