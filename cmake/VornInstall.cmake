# Install layout and the Debian package (CPack).
#
#   cmake --install build/armhf --strip --prefix /tmp/vorn-root
#   cpack --config build/armhf/CPackConfig.cmake   # -> vorn_1.0_armhf.deb
#
# Layout below the prefix (/usr in the package):
#   libexec/vorn/vorn_cli          the program (stripped)
#   libexec/vorn/process.json      the package's process list; vorn_cli reads
#                                  it from its own directory (/proc/self/exe),
#                                  so the two stay together
#   bin/vorn_cli                   a symbolic link to ../libexec/vorn/vorn_cli
#                                  for the operator's PATH; /proc/self/exe
#                                  resolves it, so process.json is still found
#   <libdir>/vorn/libvorn_governor_2.0.so, libvorn_delay_2.0.so,
#   libvorn_sound_meter_2.0.so     the plug-ins, for the media pipeline to load
#                                  by path (they are not general libraries,
#                                  hence their own folder)
#   share/man/man1/vorn_cli.1.gz, the bash completion, vorn.service and
#   /etc/init.d/vorn               for the operator (VornOperatorKit.cmake)
#
# Everything the package ships is in the install component "runtime"; the
# package holds that component only. The stand-ins of tools/ are not installed
# unless VORN_INSTALL_TOOLS is ON (component "tools", into libexec/vorn/tools).

option(VORN_INSTALL_TOOLS
       "Install the stand-in programs of tools/ (component tools)" OFF)

set(VORN_INSTALL_PROGRAM_DIR "${CMAKE_INSTALL_LIBEXECDIR}/vorn" CACHE STRING
    "Folder, below the prefix, of vorn_cli and its process.json")
set(VORN_INSTALL_PLUGIN_DIR "${CMAKE_INSTALL_LIBDIR}/vorn" CACHE STRING
    "Folder, below the prefix, of the audio post-processor plug-ins")
set(VORN_PROCESS_JSON "${PROJECT_SOURCE_DIR}/packaging/process.json" CACHE
    FILEPATH "process.json installed beside vorn_cli")

if(TARGET vorn_cli)
  install(TARGETS vorn_cli
          RUNTIME DESTINATION "${VORN_INSTALL_PROGRAM_DIR}"
          COMPONENT runtime)
  install(FILES "${VORN_PROCESS_JSON}"
          DESTINATION "${VORN_INSTALL_PROGRAM_DIR}"
          RENAME process.json
          COMPONENT runtime)
  # bin/vorn_cli -> ../libexec/vorn/vorn_cli, made in the build tree and
  # installed as a link.
  file(RELATIVE_PATH vorn_bin_to_program "/${CMAKE_INSTALL_BINDIR}"
       "/${VORN_INSTALL_PROGRAM_DIR}/vorn_cli")
  set(vorn_cli_link "${PROJECT_BINARY_DIR}/packaging/vorn_cli")
  file(MAKE_DIRECTORY "${PROJECT_BINARY_DIR}/packaging")
  file(CREATE_LINK "${vorn_bin_to_program}" "${vorn_cli_link}" SYMBOLIC)
  install(FILES "${vorn_cli_link}"
          DESTINATION "${CMAKE_INSTALL_BINDIR}"
          COMPONENT runtime)
  include(VornOperatorKit)
endif()

# The plug-in targets are vorn_<name>_plugin (output libvorn_<name>_2.0.so).
foreach(plugin vorn_governor vorn_delay vorn_sound_meter)
  foreach(target ${plugin}_plugin ${plugin})
    if(TARGET ${target})
      install(TARGETS ${target}
              LIBRARY DESTINATION "${VORN_INSTALL_PLUGIN_DIR}"
              COMPONENT runtime)
      break()
    endif()
  endforeach()
endforeach()

if(VORN_INSTALL_TOOLS)
  foreach(tool process_manager logshim vorn_shell_sim vorn_audio_host)
    if(TARGET ${tool})
      install(TARGETS ${tool}
              RUNTIME DESTINATION "${VORN_INSTALL_PROGRAM_DIR}/tools"
              COMPONENT tools EXCLUDE_FROM_ALL)
    endif()
  endforeach()
endif()

# --- Debian package ---------------------------------------------------------
if(CMAKE_SYSTEM_PROCESSOR MATCHES "^arm")
  set(vorn_deb_arch armhf)
else()
  find_program(VORN_DPKG dpkg)
  if(VORN_DPKG)
    execute_process(COMMAND ${VORN_DPKG} --print-architecture
                    OUTPUT_VARIABLE vorn_deb_arch
                    OUTPUT_STRIP_TRAILING_WHITESPACE)
  endif()
  if(NOT vorn_deb_arch)
    set(vorn_deb_arch amd64)
  endif()
endif()

# Dependencies are listed by hand: dpkg-shlibdeps cannot inspect armhf
# binaries on an x86 build machine. scripts/cross-armhf checks that every
# library the packaged files need is covered by one of these, and notes any
# listed package that nothing links. libevent's core library is vorn_cli's
# event loop (vorn_task); protobuf-lite carries the status messages
# (vorn_transport).
set(VORN_DEB_DEPENDS
    "libc6 (>= 2.36), libgcc-s1 (>= 3.5), libstdc++6 (>= 12), libevent-core-2.1-7 (>= 2.1.12-stable), libprotobuf-lite32 (>= 3.21.12)"
    CACHE STRING "Depends field of the Debian package")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vorn)
set(CPACK_PACKAGE_VENDOR "vorn developers")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Media receiver control program and audio post-processor plug-ins")
set(CPACK_PACKAGE_DESCRIPTION
    "vorn_cli starts, stops and queries the receiver package; the plug-ins are a volume governor, a per-channel delay and a sound-level meter for the receiver's media pipeline.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "vorn developers <vorn@localhost>")
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE "${vorn_deb_arch}")
set(CPACK_DEBIAN_PACKAGE_DEPENDS "${VORN_DEB_DEPENDS}")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS OFF)
set(CPACK_DEBIAN_FILE_NAME "vorn_${PROJECT_VERSION}_${vorn_deb_arch}.deb")
include(VornInstallIntegration)
include(CPack)
