# mobrevist_library(NAME [DEPS target...] [EXCLUDE_DIRS subfolder...])
# Makes the static library NAME from every .cpp file of the calling folder and its
# subfolders but the excluded ones, with the project root as include root (headers are
# included as "folder/file.h"). A folder without sources yet becomes an interface library.
function(mobrevist_library name)
  cmake_parse_arguments(ARG "" "" "DEPS;EXCLUDE_DIRS" ${ARGN})
  file(GLOB_RECURSE sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  foreach(dir ${ARG_EXCLUDE_DIRS})
    list(FILTER sources EXCLUDE REGEX "^${CMAKE_CURRENT_SOURCE_DIR}/${dir}/")
  endforeach()
  if(sources)
    add_library(${name} STATIC ${sources})
    target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
    target_link_libraries(${name} PUBLIC ${ARG_DEPS})
  else()
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${PROJECT_SOURCE_DIR})
    target_link_libraries(${name} INTERFACE ${ARG_DEPS})
  endif()
endfunction()

# mobrevist_folder(NAME): adds the source folder NAME, except in the Windows build when it
# is listed in MOBREVIST_WINDOWS_PENDING (a folder whose platform parts are not there yet is
# left out whole, never built half).
function(mobrevist_folder name)
  if(WIN32 AND name IN_LIST MOBREVIST_WINDOWS_PENDING)
    message(STATUS "Windows build: ${name}/ is not built yet")
    return()
  endif()
  add_subdirectory(${name})
endfunction()
