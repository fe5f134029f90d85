# A Debian package: `cpack -G DEB` in the build folder.
set(CPACK_PACKAGE_NAME brownian)
set(CPACK_PACKAGE_VENDOR "Brownian motion simulator developers")
set(CPACK_PACKAGE_CONTACT "Brownian motion simulator developers <brownian@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Brownian motion simulator with a Japanese interface")
set(CPACK_PACKAGE_DESCRIPTION
    "Equal round particles collide elastically in a box or on a wrap-around field; one tracked\n particle leaves its path behind. Includes brownian-lab, a command-line tool for\n reproducible runs, data export and physics figures.")
set(CPACK_PACKAGE_INSTALL_DIRECTORY /usr)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The platform plugins and a Japanese font are not found by the library scan.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, fonts-vlgothic | fonts-noto-cjk | fonts-ipafont-gothic")
# The Python module: of use with the Python version it is built for and NumPy.
if(TARGET brownian_python)
  set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "${BROWNIAN_PYTHON_RECOMMENDS}")
endif()
set(CPACK_STRIP_FILES ON)
include(CPack)
