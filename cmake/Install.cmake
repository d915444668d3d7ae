# `cmake --install` and the Debian package: the libraries in the library folder (the driver finds its dialogs
# module beside itself), the programs in the program folder, the udev rule for USB serial adapters where udev
# reads the rules of packages. Installed programs and libraries find the platform library beside the other
# libraries, also under a prefix the system's loader does not search.
include(GNUInstallDirs)

set(TESSEL_INSTALL_LIBRARIES TesselPlatform TesselDrv)
foreach(lib TesselQt TesselDrvUi)
  if(TARGET ${lib})
    list(APPEND TESSEL_INSTALL_LIBRARIES ${lib})
  endif()
endforeach()
set(TESSEL_INSTALL_PROGRAMS)
foreach(program tessel tessel-regsvr TesselEmu TesselCmd)
  if(TARGET ${program})
    list(APPEND TESSEL_INSTALL_PROGRAMS ${program})
  endif()
endforeach()

set_target_properties(${TESSEL_INSTALL_LIBRARIES} PROPERTIES INSTALL_RPATH "$ORIGIN")
set_target_properties(${TESSEL_INSTALL_PROGRAMS} PROPERTIES INSTALL_RPATH "$ORIGIN/../${CMAKE_INSTALL_LIBDIR}")
install(TARGETS ${TESSEL_INSTALL_LIBRARIES} LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime)
install(TARGETS ${TESSEL_INSTALL_PROGRAMS} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime)
# Relative, so that it follows a prefix given at install time (udev reads /usr/lib/udev/rules.d).
install(FILES ${PROJECT_SOURCE_DIR}/packaging/udev/60-tessel-serial.rules
  DESTINATION lib/udev/rules.d COMPONENT runtime)
install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT runtime)
# The 1C:Enterprise component's zip, for the configuration's template.
if(TARGET TesselDrv1CZip)
  install(FILES ${TESSEL_1C_ZIP} DESTINATION ${CMAKE_INSTALL_DATADIR}/tessel COMPONENT runtime)
endif()

# scripts/package: one Debian package of the runtime component; its dependencies come from the libraries the
# programs link (dpkg-shlibdeps).
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tessel)
set(CPACK_PACKAGE_VENDOR "Tessel")
set(CPACK_PACKAGE_CONTACT "Tessel developers <tessel@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Driver for Russian fiscal cash registers, its register emulator and tools")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${PROJECT_VERSION_PATCH}")
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL runtime)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME tessel)
set(CPACK_DEBIAN_RUNTIME_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
# Qt's own buttons and file dialogs in the windows speak Russian only with Qt's translations.
if(TARGET TesselDrvUi OR TARGET TesselCmd)
  set(CPACK_DEBIAN_RUNTIME_PACKAGE_RECOMMENDS "qt6-translations-l10n")
endif()
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "The in-process automation server libTesselDrv.so (ProgID Addin.TesselDriver) for point-of-sale programs,
its dialogs module, the 1C:Enterprise component's zip (in /usr/share/tessel), the command-line client tessel,
the registration tool tessel-regsvr, the register emulator TesselEmu and a udev rule that gives USB serial
adapters to the group dialout. Each user registers the driver once: tessel-regsvr /usr/lib/<arch>/libTesselDrv.so.
ModemManager is kept away from the registers' adapters by the rule that tessel ports udev-rule prints.")
include(CPack)

if(TESSEL_TESTS)
  add_test(NAME install.InstalledTreeServesAClient
    COMMAND bash ${PROJECT_SOURCE_DIR}/tests/install/installed_tree.sh ${CMAKE_BINARY_DIR})
  set_tests_properties(install.InstalledTreeServesAClient PROPERTIES LABELS e2e TIMEOUT 120)
  add_test(NAME install.PackageDeclaresWhatTheWindowsNeed
    COMMAND bash ${PROJECT_SOURCE_DIR}/tests/install/package.sh ${CMAKE_BINARY_DIR})
  set_tests_properties(install.PackageDeclaresWhatTheWindowsNeed PROPERTIES LABELS e2e TIMEOUT 300)
endif()
