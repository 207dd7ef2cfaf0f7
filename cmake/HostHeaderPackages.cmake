# A cross build (mingw-w64) takes the header-only libraries, CLI11 and
# nlohmann-json, from the build machine's Debian packages. Their own package
# files would put all of /usr/include on the include path, where the build
# machine's C headers would shadow the target's. So each gets a small package
# file in the build tree instead, whose include folder holds only a link to
# the library's own header folder; find_package() then finds that one.
if(NOT CMAKE_CROSSCOMPILING)
  return()
endif()

set(hostHeaders ${CMAKE_BINARY_DIR}/host-headers)
# package;imported target;header folder under /usr/include
foreach(entry "CLI11;CLI11::CLI11;CLI" "nlohmann_json;nlohmann_json::nlohmann_json;nlohmann")
  list(GET entry 0 package)
  list(GET entry 1 target)
  list(GET entry 2 folder)
  set(hostConfig /usr/share/cmake/${package})
  if(NOT EXISTS /usr/include/${folder} OR NOT EXISTS ${hostConfig}/${package}ConfigVersion.cmake)
    continue()  # find_package() will say what is missing
  endif()
  set(dir ${hostHeaders}/${package})
  file(MAKE_DIRECTORY ${dir}/include)
  file(CREATE_LINK /usr/include/${folder} ${dir}/include/${folder} SYMBOLIC)
  file(WRITE ${dir}/${package}Config.cmake
       "if(NOT TARGET ${target})\n"
       "  add_library(${target} INTERFACE IMPORTED)\n"
       "  set_target_properties(${target} PROPERTIES INTERFACE_INCLUDE_DIRECTORIES \"${dir}/include\")\n"
       "endif()\n")
  # The version is the build machine's package's.
  file(WRITE ${dir}/${package}ConfigVersion.cmake "include(\"${hostConfig}/${package}ConfigVersion.cmake\")\n")
  set(${package}_DIR ${dir} CACHE PATH "" FORCE)
endforeach()
