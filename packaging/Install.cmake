# Where an installed Kelvo puts its files, and the names a desktop knows it
# by. Included before the program's folders, so every folder installs under
# the same names.
include(GNUInstallDirs)

# The application's ID: the desktop entry, the AppStream metadata and the
# icon are all named by it, which is how a desktop ties them together.
set(KELVO_APP_ID "org.kelvo.Kelvo")
# The release date of PROJECT_VERSION, for the metadata, the manual page and
# the package's changelog; it changes with the version.
set(KELVO_RELEASE_DATE "2026-12-08")

# The project's page on the web: the metadata's home page, and where its
# screenshot (docs/keyboard.png) is published.
set(KELVO_WEB_HOME "https://kelvo.org/" CACHE STRING "The project's web page, ending in /")
if(NOT KELVO_WEB_HOME MATCHES "^https?://[^\"<>&\\\\\n\r ]+/$")
  message(FATAL_ERROR "KELVO_WEB_HOME is \"${KELVO_WEB_HOME}\": it must be an http:// or https:// "
    "address ending in / and hold no quote, angle bracket, ampersand, backslash, space or line break")
endif()

# The documentation folder is named after the program as installed, in lower
# case, unless the builder chose one.
get_property(docdir_chosen CACHE CMAKE_INSTALL_DOCDIR PROPERTY VALUE)
if(NOT docdir_chosen)
  set(CMAKE_INSTALL_DOCDIR "${CMAKE_INSTALL_DATAROOTDIR}/doc/kelvo")
  GNUInstallDirs_get_absolute_install_dir(CMAKE_INSTALL_FULL_DOCDIR CMAKE_INSTALL_DOCDIR DOCDIR)
endif()

# The installed program, for texts that name it by its full path.
set(KELVO_PROGRAM "${CMAKE_INSTALL_FULL_BINDIR}/kelvo")

# Makes a desktop entry from `template` (with @KELVO_APP_ID@, @KELVO_PROGRAM@
# and @PROJECT_VERSION@ filled in), installs it into `destination` as `name`,
# and has the packaging tests validate it. The program is named where it is
# installed, which `cmake --install --prefix` may choose after configuring:
# that is filled in when installing.
function(kelvo_desktop_entry template destination name)
  set(entry "${CMAKE_BINARY_DIR}/packaging/entries/${destination}/${name}")
  set(KELVO_PROGRAM "@KELVO_PROGRAM@")
  configure_file("${template}" "${entry}.in" @ONLY)
  if(IS_ABSOLUTE "${CMAKE_INSTALL_BINDIR}")
    set(program "${CMAKE_INSTALL_BINDIR}/kelvo")
  else()
    set(program "\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/kelvo")
  endif()
  install(CODE "
    set(KELVO_PROGRAM \"${program}\")
    configure_file(\"${entry}.in\" \"${entry}\" @ONLY)
    file(INSTALL \"${entry}\" DESTINATION \"\${CMAKE_INSTALL_PREFIX}/${destination}\")")
  set_property(GLOBAL APPEND PROPERTY KELVO_DESKTOP_ENTRIES "${destination}/${name}")
endfunction()
