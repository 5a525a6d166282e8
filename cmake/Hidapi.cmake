# hidapi: on Linux its hidraw backend through pkg-config; elsewhere, or where pkg-config
# does not know it, hidapi's own CMake package (hidapi::hidapi).
# Defines ORV::hidapi, to link the library, and ORV_HIDAPI_INCLUDE_DIRS, for code that only
# needs the header (the simulated ORV replaces the library itself).
find_package(PkgConfig QUIET)
if(PKG_CONFIG_FOUND)
  if(CMAKE_SYSTEM_NAME STREQUAL "Linux")
    pkg_check_modules(HIDAPI QUIET IMPORTED_TARGET hidapi-hidraw)
  else()
    pkg_check_modules(HIDAPI QUIET IMPORTED_TARGET hidapi)
  endif()
endif()

add_library(ORV::hidapi INTERFACE IMPORTED GLOBAL)
if(TARGET PkgConfig::HIDAPI)
  target_link_libraries(ORV::hidapi INTERFACE PkgConfig::HIDAPI)
  set(ORV_HIDAPI_INCLUDE_DIRS ${HIDAPI_INCLUDE_DIRS})
  message(STATUS "hidapi ${HIDAPI_VERSION} through pkg-config")
else()
  find_package(hidapi 0.10 REQUIRED)
  target_link_libraries(ORV::hidapi INTERFACE hidapi::hidapi)
  # hidapi::hidapi may only forward to the platform's backend, which carries the headers.
  set(ORV_HIDAPI_INCLUDE_DIRS "")
  foreach(target hidapi::hidapi hidapi::include hidapi::hidraw hidapi::libusb hidapi::winapi
                 hidapi::darwin)
    if(TARGET ${target})
      get_target_property(dirs ${target} INTERFACE_INCLUDE_DIRECTORIES)
      if(dirs)
        list(APPEND ORV_HIDAPI_INCLUDE_DIRS ${dirs})
      endif()
    endif()
  endforeach()
  message(STATUS "hidapi ${hidapi_VERSION} through its CMake package")
endif()
