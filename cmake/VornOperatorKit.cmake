# What an operator of the device gets beside the program, all in the install
# component "runtime" (the device package):
#   share/man/man1/vorn_cli.1.gz       the manual page, made by vorn_cli_docs
#                                      from the usage tables, gzip -9n
#   <completionsdir>/vorn_cli          the bash completion, made the same way;
#                                      bash-completion's own folder when
#                                      pkg-config knows it, else
#                                      share/bash-completion/completions
#   lib/systemd/system/vorn.service    the systemd unit
#   /etc/init.d/vorn                   the init script for devices without
#                                      systemd (a conffile of the package)
#
# Build-tree outputs, used by the tests: ${VORN_MAN_PAGE} (uncompressed),
# ${VORN_BASH_COMPLETION}.

set(vorn_kit_out "${PROJECT_BINARY_DIR}/packaging")
set(VORN_MAN_PAGE "${vorn_kit_out}/vorn_cli.1")
set(VORN_BASH_COMPLETION "${vorn_kit_out}/vorn_cli.bash")
set(vorn_kit_in "${PROJECT_SOURCE_DIR}/packaging")

add_custom_command(
  OUTPUT "${VORN_MAN_PAGE}" "${VORN_MAN_PAGE}.gz"
  COMMAND vorn_cli_docs man "${vorn_kit_in}/vorn_cli.1.in" "${VORN_MAN_PAGE}"
  COMMAND gzip -9nfk "${VORN_MAN_PAGE}"
  DEPENDS vorn_cli_docs "${vorn_kit_in}/vorn_cli.1.in"
  COMMENT "Generating the vorn_cli(1) manual page")
add_custom_command(
  OUTPUT "${VORN_BASH_COMPLETION}"
  COMMAND vorn_cli_docs bash "${vorn_kit_in}/vorn_cli.bash.in"
          "${VORN_BASH_COMPLETION}"
  DEPENDS vorn_cli_docs "${vorn_kit_in}/vorn_cli.bash.in"
  COMMENT "Generating the vorn_cli bash completion")
add_custom_target(vorn_operator_docs ALL
                  DEPENDS "${VORN_MAN_PAGE}.gz" "${VORN_BASH_COMPLETION}")

# bash-completion's folder, below the prefix when it lies below bash-completion's.
set(VORN_BASH_COMPLETION_DIR "share/bash-completion/completions")
find_package(PkgConfig QUIET)
if(PKG_CONFIG_FOUND AND NOT CMAKE_CROSSCOMPILING)
  pkg_get_variable(vorn_bc_dir bash-completion completionsdir)
  pkg_get_variable(vorn_bc_prefix bash-completion prefix)
  if(vorn_bc_dir AND vorn_bc_prefix)
    file(RELATIVE_PATH vorn_bc_rel "${vorn_bc_prefix}" "${vorn_bc_dir}")
    if(NOT vorn_bc_rel MATCHES "^\\.\\.")
      set(VORN_BASH_COMPLETION_DIR "${vorn_bc_rel}")
    endif()
  endif()
endif()

install(FILES "${VORN_MAN_PAGE}.gz"
        DESTINATION "${CMAKE_INSTALL_MANDIR}/man1" COMPONENT runtime)
install(FILES "${VORN_BASH_COMPLETION}" RENAME vorn_cli
        DESTINATION "${VORN_BASH_COMPLETION_DIR}" COMPONENT runtime)
install(FILES "${vorn_kit_in}/vorn.service"
        DESTINATION lib/systemd/system COMPONENT runtime)
install(PROGRAMS "${vorn_kit_in}/vorn.init" RENAME vorn
        DESTINATION /etc/init.d COMPONENT runtime)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_CONTROL_EXTRA "${vorn_kit_in}/conffiles")
