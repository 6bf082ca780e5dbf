# cmake --install: headers, the versioned shared libraries, a CMake package
# (find_package(KexCalculate) -> KexCalculate::KexCalculate) and a pkg-config
# file.
include(CMakePackageConfigHelpers)

set(KEX_INSTALL_CMAKEDIR "${CMAKE_INSTALL_LIBDIR}/cmake/KexCalculate")

file(GLOB KEX_PUBLIC_HEADERS
    "${PROJECT_SOURCE_DIR}/calculate/*.h"
    "${PROJECT_SOURCE_DIR}/common/*.h")

install(TARGETS KexCalculate KexCommon
    EXPORT KexCalculateTargets
    LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime NAMELINK_COMPONENT development
    RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime
    ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT development)
install(FILES ${KEX_PUBLIC_HEADERS}
    DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/KexCalculate
    COMPONENT development)

install(EXPORT KexCalculateTargets
    NAMESPACE KexCalculate::
    DESTINATION ${KEX_INSTALL_CMAKEDIR}
    COMPONENT development)
configure_package_config_file(
    "${PROJECT_SOURCE_DIR}/cmake/KexCalculateConfig.cmake.in"
    "${PROJECT_BINARY_DIR}/KexCalculateConfig.cmake"
    INSTALL_DESTINATION ${KEX_INSTALL_CMAKEDIR})
write_basic_package_version_file(
    "${PROJECT_BINARY_DIR}/KexCalculateConfigVersion.cmake"
    VERSION ${PROJECT_VERSION}
    COMPATIBILITY SameMajorVersion)
install(FILES
    "${PROJECT_BINARY_DIR}/KexCalculateConfig.cmake"
    "${PROJECT_BINARY_DIR}/KexCalculateConfigVersion.cmake"
    DESTINATION ${KEX_INSTALL_CMAKEDIR}
    COMPONENT development)

# Relocatable: the prefix is found from the .pc file's own place, so
# `cmake --install --prefix DIR` works for any DIR.
file(RELATIVE_PATH KEX_PC_TO_PREFIX "/prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig" "/prefix")
configure_file("${PROJECT_SOURCE_DIR}/cmake/KexCalculate.pc.in"
    "${PROJECT_BINARY_DIR}/KexCalculate.pc" @ONLY)
install(FILES "${PROJECT_BINARY_DIR}/KexCalculate.pc"
    DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig
    COMPONENT development)
