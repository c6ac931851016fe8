# Installation and the Debian package. Included after every subdirectory, so that it sees which
# programs the tree builds.
include(GNUInstallDirs)

# Two packages: tavrin-update for the person who updates a unit, and tavrin-sim, the simulated unit,
# for trying the program and for tests. Whatever names no component belongs to the first.
set(CMAKE_INSTALL_DEFAULT_COMPONENT_NAME update)
add_subdirectory(resources/desktop)

set(update_doc ${CMAKE_INSTALL_DATADIR}/doc/tavrin-update)
install(TARGETS tavrin-update RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# The README's links lead to these files, so they come along.
install(FILES README.md CHANGELOG.md CONTRIBUTING.md resources/package/copyright DESTINATION ${update_doc})
install(FILES docs/window.png docs/window-qt6.png docs/protocol.md DESTINATION ${update_doc}/docs)
install(TARGETS tavrin-sim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT sim)
install(FILES resources/package/copyright DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/tavrin-sim COMPONENT sim)

# Asks the installed program's window to close as a user would (scripts/package-check.sh).
find_package(X11 QUIET)
if(X11_FOUND)
    add_executable(tavrin-close-window EXCLUDE_FROM_ALL scripts/close-window/CloseWindow.cpp)
    target_link_libraries(tavrin-close-window PRIVATE X11::X11)
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL update sim)
set(CPACK_PACKAGE_NAME tavrin-update)
set(CPACK_DEBIAN_UPDATE_PACKAGE_NAME tavrin-update)
set(CPACK_DEBIAN_SIM_PACKAGE_NAME tavrin-sim)
set(CPACK_PACKAGE_VENDOR Kestrava)
set(CPACK_PACKAGE_CONTACT "Kestrava <support@kestrava.example>")
# Each package's description begins with its own summary line; an empty common summary keeps CPack
# from putting the updater's in front of both.
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "")
string(CONCAT CPACK_COMPONENT_UPDATE_DESCRIPTION
    "writes a new NAND image into a Tavrin unit over MIDI\n"
    "Tavrin Update carries the complete NAND image of the Tavrin and writes it\n"
    "into the unit over MIDI System Exclusive messages: bad-block discovery, erase,\n"
    "page-by-page writing with check bytes, a new attempt after a lost reply and\n"
    "replacement of failing blocks. It lists the ports of the ALSA sequencer and\n"
    "of a running JACK server.")
# The maker compares the image's checksum with the one of the image they gave to the build.
string(APPEND CPACK_COMPONENT_UPDATE_DESCRIPTION
    "\n\nNAND image: ${TAVRIN_IMAGE_SIZE} bytes, SHA-256\n${TAVRIN_IMAGE_SHA256}")
# A package carrying the generated stand-in would write that into a real unit; it says so.
if(TAVRIN_IMAGE_IS_PLACEHOLDER)
    string(APPEND CPACK_COMPONENT_UPDATE_DESCRIPTION
        "\n\nThis build carries a generated placeholder instead of the maker's NAND image.\n"
        "It is for testing with tavrin-sim only: do not update a real unit with it.")
endif()
# The default reset code is the maker's to replace with the one of the unit at hand.
if(TAVRIN_RESET_CODE_IS_DEFAULT)
    string(APPEND CPACK_COMPONENT_UPDATE_DESCRIPTION
        "\n\nThis build sends the default reset code ${TAVRIN_DEFAULT_RESET_CODE}, not one given for a\n"
        "particular unit: a unit that expects another code ignores the update.")
else()
    string(APPEND CPACK_COMPONENT_UPDATE_DESCRIPTION "\n\nThe reset code is the one set for this build.")
endif()
string(CONCAT CPACK_COMPONENT_SIM_DESCRIPTION
    "simulated Tavrin unit for trying Tavrin Update\n"
    "tavrin-sim answers Tavrin Update over MIDI (ALSA sequencer or JACK) as a Tavrin\n"
    "unit would, keeps a simulated NAND and checks every message it receives. It is\n"
    "for trying the updater and for testing it; it cannot update a unit.")
set(CPACK_PACKAGE_HOMEPAGE_URL https://kestrava.example/)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_CHECKSUM SHA256)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
# The libraries the programs link come from dpkg-shlibdeps. Under Qt 5 the window's style is a plugin
# that Qt loads at run time, which no linker records; without it the window falls back to Fusion, so
# it is recommended, not required. Qt 6 has no Plastique plugin, and Fusion is built in.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
if(TAVRIN_QT_MAJOR STREQUAL 5)
    set(CPACK_DEBIAN_UPDATE_PACKAGE_RECOMMENDS qt5-style-plugins)
endif()
# ALSA's sequencer is enough to reach the unit; a JACK server is only wanted where one is used anyway.
set(CPACK_DEBIAN_PACKAGE_SUGGESTS jackd2)
set(CPACK_DEBIAN_SIM_PACKAGE_SECTION devel)

include(CPack)
