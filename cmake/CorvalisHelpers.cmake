# Project-wide compile settings and the small helpers every layer uses.

set(CORVALIS_WARNINGS -Wall -Wextra)
if(CORVALIS_SANITIZE)
  set(CORVALIS_SAN_FLAGS -fsanitize=address,undefined -fno-omit-frame-pointer
                         -fno-sanitize-recover=undefined)
endif()

# Applies warnings and sanitizers to a target of ours.
function(corvalis_target_defaults target)
  target_compile_options(${target} PRIVATE ${CORVALIS_WARNINGS} ${CORVALIS_SAN_FLAGS})
  target_link_options(${target} PRIVATE ${CORVALIS_SAN_FLAGS})
  target_compile_definitions(${target} PRIVATE QT_NO_KEYWORDS)
endfunction()

# A library of one layer: sources are the given folders' .cpp files (recursively
# unless NONRECURSIVE), minus EXCLUDE patterns.
function(corvalis_add_library name)
  cmake_parse_arguments(ARG "" "" "DIRS;EXCLUDE;DEPENDS" ${ARGN})
  set(sources)
  foreach(dir IN LISTS ARG_DIRS)
    file(GLOB_RECURSE found CONFIGURE_DEPENDS ${dir}/*.cpp)
    list(APPEND sources ${found})
  endforeach()
  foreach(pattern IN LISTS ARG_EXCLUDE)
    list(FILTER sources EXCLUDE REGEX "${pattern}")
  endforeach()
  add_library(${name} STATIC ${sources})
  target_include_directories(${name} PUBLIC ${CMAKE_SOURCE_DIR})
  target_link_libraries(${name} PUBLIC ${ARG_DEPENDS})
  corvalis_target_defaults(${name})
endfunction()

# A test executable of one layer: every .cpp in tests/<layer>, labelled <layer>.
function(corvalis_add_test_layer layer)
  cmake_parse_arguments(ARG "" "" "DEPENDS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${layer}/*.cpp)
  if(NOT sources)
    return()
  endif()
  set(target test_${layer})
  add_executable(${target} ${sources})
  target_link_libraries(${target} PRIVATE corvalis_test_support ${ARG_DEPENDS})
  corvalis_target_defaults(${target})
  gtest_discover_tests(${target}
    PROPERTIES LABELS ${layer}
               ENVIRONMENT "QT_QPA_PLATFORM=offscreen"
    DISCOVERY_TIMEOUT 60)
endfunction()

# Copies resource folders beside the executable so AppDir looks the same in the
# build tree and in an install.
function(corvalis_copy_beside_executable)
  foreach(dir IN LISTS ARGN)
    add_custom_target(copy_${dir} ALL
      COMMAND ${CMAKE_COMMAND} -E copy_directory
              ${CMAKE_SOURCE_DIR}/${dir} ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/${dir}
      COMMENT "Copying ${dir} beside the executable")
  endforeach()
endfunction()
