# What integrators of the plug-ins get beside the device package, in the
# install component "lv2" (Debian package vorn-lv2, built natively):
#   lib/lv2/vorn.lv2/                     the LV2 bundle (rules beside the
#                                         target, src/post_processors/lv2)
#   include/vorn/audio_post_processor2.h  the plug-in contract, for hosts that
#                                         load the .so factories themselves
#   <libdir>/pkgconfig/vorn-post-processors.pc
#                                         its flags and the plug-ins' paths
#
# The .pc file locates everything relative to itself (${pcfiledir}), so it
# is right under any prefix, the package's /usr included.
#
#   cmake --install build/default --component lv2 --prefix /tmp/root
#   PKG_CONFIG_PATH=/tmp/root/lib/x86_64-linux-gnu/pkgconfig \
#     pkg-config --cflags vorn-post-processors

install(FILES "${PROJECT_SOURCE_DIR}/src/post_processors/audio_post_processor2.h"
        DESTINATION "${CMAKE_INSTALL_INCLUDEDIR}/vorn"
        COMPONENT lv2)

set(vorn_pc_dir "${CMAKE_INSTALL_LIBDIR}/pkgconfig")
file(RELATIVE_PATH vorn_pc_to_prefix "/${vorn_pc_dir}" "/")
string(REGEX REPLACE "/$" "" vorn_pc_to_prefix "${vorn_pc_to_prefix}")
configure_file("${PROJECT_SOURCE_DIR}/packaging/vorn-post-processors.pc.in"
               "${PROJECT_BINARY_DIR}/packaging/vorn-post-processors.pc" @ONLY)
install(FILES "${PROJECT_BINARY_DIR}/packaging/vorn-post-processors.pc"
        DESTINATION "${vorn_pc_dir}"
        COMPONENT lv2)

# CPack: one package per component. The device package keeps its name and
# file name; vorn-lv2 is made only where the bundle is built (natively).
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL runtime)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME vorn)
set(CPACK_DEBIAN_RUNTIME_FILE_NAME "vorn_${PROJECT_VERSION}_${vorn_deb_arch}.deb")
# CPack puts CPACK_PACKAGE_DESCRIPTION_SUMMARY first in every component's
# Description; the component texts follow it.
set(CPACK_DEBIAN_RUNTIME_DESCRIPTION "${CPACK_PACKAGE_DESCRIPTION}")
if(TARGET vorn_lv2)
  list(APPEND CPACK_COMPONENTS_ALL lv2)
  set(CPACK_DEBIAN_LV2_PACKAGE_NAME vorn-lv2)
  set(CPACK_DEBIAN_LV2_FILE_NAME
      "vorn-lv2_${PROJECT_VERSION}_${vorn_deb_arch}.deb")
  set(CPACK_DEBIAN_LV2_PACKAGE_SECTION sound)
  set(CPACK_DEBIAN_LV2_PACKAGE_SUGGESTS vorn)
  # vorn.so needs the C and C++ run-time libraries only.
  set(CPACK_DEBIAN_LV2_PACKAGE_DEPENDS
      "libc6 (>= 2.36), libgcc-s1 (>= 3.5), libstdc++6 (>= 12)")
  set(CPACK_DEBIAN_LV2_DESCRIPTION
      "vorn audio plug-ins for LV2 hosts, and the plug-in contract header
The governor, delay and sound meter of the vorn media receiver, mono and
stereo, as an LV2 bundle for desktop hosts (lv2apply, PipeWire filter chains,
digital audio workstations); plus the AudioPostProcessor2 header and a
pkg-config file for hosts that load the receiver's plug-in libraries.")
endif()
