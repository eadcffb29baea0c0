# Provides the imported targets OpenCV::core, OpenCV::imgproc and OpenCV::imgcodecs.
#
# Debian ships OpenCV's CMake package only with the all-modules development package, while the
# per-module packages this project needs carry just headers and libraries. Use the package
# configuration when it is there and fall back to locating the modules directly.
include_guard(GLOBAL)

find_package(OpenCV 4 QUIET COMPONENTS core imgproc imgcodecs)

find_path(ZOLT_OPENCV_INCLUDE_DIR opencv2/core.hpp PATH_SUFFIXES opencv4)

foreach(module core imgproc imgcodecs)
  if(TARGET OpenCV::${module})
    continue()
  endif()
  if(OpenCV_FOUND AND TARGET opencv_${module})
    add_library(OpenCV::${module} INTERFACE IMPORTED)
    set_target_properties(OpenCV::${module} PROPERTIES INTERFACE_LINK_LIBRARIES opencv_${module})
    continue()
  endif()
  find_library(ZOLT_OPENCV_${module}_LIBRARY NAMES opencv_${module})
  if(ZOLT_OPENCV_${module}_LIBRARY AND ZOLT_OPENCV_INCLUDE_DIR)
    add_library(OpenCV::${module} UNKNOWN IMPORTED)
    set_target_properties(OpenCV::${module} PROPERTIES
      IMPORTED_LOCATION ${ZOLT_OPENCV_${module}_LIBRARY}
      INTERFACE_INCLUDE_DIRECTORIES ${ZOLT_OPENCV_INCLUDE_DIR})
  endif()
endforeach()

foreach(module core imgproc)
  if(NOT TARGET OpenCV::${module})
    message(FATAL_ERROR "OpenCV module '${module}' was not found (Debian: libopencv-${module}-dev).")
  endif()
endforeach()
