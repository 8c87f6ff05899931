# zk_public_headers(TARGET HEADER...)
#
# Publishes only the given headers of a library: each is linked into a folder
# of its own in the build tree under its path from the source root (so users
# still write #include "writers/ZSCFile.h"), and that folder, not the source
# root, becomes the library's include path. Headers are given relative to the
# calling folder and may be glob patterns.
function(zk_public_headers target)
  set(root ${CMAKE_BINARY_DIR}/include/${target})
  foreach(pattern ${ARGN})
    file(GLOB headers CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${pattern})
    if(NOT headers)
      message(FATAL_ERROR "zk_public_headers(${target}): nothing matches ${pattern}")
    endif()
    foreach(header ${headers})
      file(RELATIVE_PATH relative ${CMAKE_SOURCE_DIR} ${header})
      get_filename_component(folder ${root}/${relative} DIRECTORY)
      file(MAKE_DIRECTORY ${folder})
      file(CREATE_LINK ${header} ${root}/${relative} SYMBOLIC)
    endforeach()
  endforeach()
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "INTERFACE_LIBRARY")
    target_include_directories(${target} INTERFACE ${root})
  else()
    target_include_directories(${target} PUBLIC ${root})
  endif()
endfunction()
