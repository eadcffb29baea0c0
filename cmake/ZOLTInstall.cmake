# Installation: headers, libraries, the CMake package ZOLTStitching and the pkg-config file.
include(CMakePackageConfigHelpers)

set(ZOLT_CMAKE_INSTALL_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/ZOLTStitching)

install(TARGETS ZOLT.Stitching ZOLT.Common
  EXPORT ZOLTStitchingTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})

install(DIRECTORY ${PROJECT_SOURCE_DIR}/include/ZOLT ${PROJECT_SOURCE_DIR}/common/include/ZOLT
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(FILES ${PROJECT_BINARY_DIR}/generated/ZOLT/Version.h
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/ZOLT)

install(EXPORT ZOLTStitchingTargets
  NAMESPACE ZOLT::
  DESTINATION ${ZOLT_CMAKE_INSTALL_DIR})

configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/ZOLTStitchingConfig.cmake.in
  ${PROJECT_BINARY_DIR}/ZOLTStitchingConfig.cmake
  INSTALL_DESTINATION ${ZOLT_CMAKE_INSTALL_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/ZOLTStitchingConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES
  ${PROJECT_BINARY_DIR}/ZOLTStitchingConfig.cmake
  ${PROJECT_BINARY_DIR}/ZOLTStitchingConfigVersion.cmake
  ${PROJECT_SOURCE_DIR}/cmake/ZOLTOpenCV.cmake
  DESTINATION ${ZOLT_CMAKE_INSTALL_DIR})

# pkg-config: OpenCV's own .pc file is not always installed, so name its include folder and
# libraries directly, as they were found for this build.
get_target_property(ZOLT_PC_OPENCV_INCLUDE OpenCV::core INTERFACE_INCLUDE_DIRECTORIES)
set(ZOLT_PC_OPENCV_LIBS "")
foreach(module core imgproc)
  get_target_property(location OpenCV::${module} IMPORTED_LOCATION)
  if(location)
    string(APPEND ZOLT_PC_OPENCV_LIBS " ${location}")
  else()
    string(APPEND ZOLT_PC_OPENCV_LIBS " -lopencv_${module}")
  endif()
endforeach()
# The .pc file finds the prefix from its own folder, so the installed tree can be moved.
file(RELATIVE_PATH ZOLT_PC_RELATIVE_PREFIX "/prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig" "/prefix")
configure_file(${PROJECT_SOURCE_DIR}/cmake/zolt-stitching.pc.in
  ${PROJECT_BINARY_DIR}/zolt-stitching.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/zolt-stitching.pc
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
