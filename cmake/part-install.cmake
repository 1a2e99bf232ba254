# Installation and the Debian package. `cmake --install build [--prefix P]` puts the program,
# its man page and its shell completion scripts under P; `cpack -G DEB` in the build folder
# wraps the same files into murex_<version>_<arch>.deb. Test programs are never installed: only what is named here is.
include(GNUInstallDirs)
# Installing (and so packaging) takes the program as built and does not first build every
# target: a test program that fails to build must not stop the package of a good murex.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)

install(TARGETS murex RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${CMAKE_SOURCE_DIR}/man/murex.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# The shell completion scripts, written by the built program from its own tables, where
# bash-completion, zsh and fish look for them. zsh's packaged fpath holds
# vendor-completions under /usr, site-functions under any other prefix.
set(MUREX_COMPLETIONS ${CMAKE_BINARY_DIR}/completions)
add_custom_command(
  OUTPUT ${MUREX_COMPLETIONS}/murex ${MUREX_COMPLETIONS}/_murex ${MUREX_COMPLETIONS}/murex.fish
  COMMAND ${CMAKE_COMMAND} -E make_directory ${MUREX_COMPLETIONS}
  COMMAND $<TARGET_FILE:murex> --completion bash > ${MUREX_COMPLETIONS}/murex
  COMMAND $<TARGET_FILE:murex> --completion zsh > ${MUREX_COMPLETIONS}/_murex
  COMMAND $<TARGET_FILE:murex> --completion fish > ${MUREX_COMPLETIONS}/murex.fish
  DEPENDS murex
  COMMENT "Writing the shell completion scripts")
add_custom_target(completions ALL
  DEPENDS ${MUREX_COMPLETIONS}/murex ${MUREX_COMPLETIONS}/_murex ${MUREX_COMPLETIONS}/murex.fish)
install(FILES ${MUREX_COMPLETIONS}/murex
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)
install(CODE [[
  if(CMAKE_INSTALL_PREFIX MATCHES "/usr$" AND NOT CMAKE_INSTALL_PREFIX MATCHES "/local/usr$")
    set(MUREX_ZSH_DIR vendor-completions)
  else()
    set(MUREX_ZSH_DIR site-functions)
  endif()
]])
install(FILES ${MUREX_COMPLETIONS}/_murex
        DESTINATION ${CMAKE_INSTALL_DATADIR}/zsh/\${MUREX_ZSH_DIR})
install(FILES ${MUREX_COMPLETIONS}/murex.fish
        DESTINATION ${CMAKE_INSTALL_DATADIR}/fish/vendor_completions.d)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME murex)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "murex developers")
set(CPACK_PACKAGE_CONTACT "murex developers <murex@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "double-entry bookkeeping on plain-text ledger files")
# The long description, wrapped for the control file.
string(CONCAT CPACK_PACKAGE_DESCRIPTION
       "murex reads a ledger, a plain text file of dated transactions kept with any\n"
       "text editor. It checks that every transaction adds up to zero and uses only\n"
       "the accounts its opening transaction declares, and reports the first error\n"
       "with its line. It prints the balance of all accounts, the transactions of\n"
       "one account, the inventory (items taken out first in, first out at their\n"
       "unit prices) or the opening transaction of the next year on the console,\n"
       "or serves the same reports to a browser on the local machine.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${CPACK_PACKAGE_CONTACT}")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The dependencies (libc6, libstdc++6, libgcc-s1) come from the shared libraries the built
# binary links; this needs dpkg-shlibdeps from dpkg-dev.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)

include(CPack)
