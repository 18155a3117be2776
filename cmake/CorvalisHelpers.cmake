# Project-wide compile settings and the small helpers every layer uses.

set(CORVALIS_WARNINGS -Wall -Wextra)
if(CORVALIS_SANITIZE)
  # g++ leaves float-to-integer overflow out of "undefined".
  set(CORVALIS_SAN_FLAGS -fsanitize=address,undefined,float-cast-overflow -fno-omit-frame-pointer
                         -fno-sanitize-recover=undefined,float-cast-overflow)
endif()

# Applies warnings and sanitizers to a target of ours.
function(corvalis_target_defaults target)
  target_compile_options(${target} PRIVATE ${CORVALIS_WARNINGS} ${CORVALIS_SAN_FLAGS})
  target_link_options(${target} PRIVATE ${CORVALIS_SAN_FLAGS})
  target_compile_definitions(${target} PRIVATE QT_NO_KEYWORDS)
endfunction()

# A library of one layer, its files listed one by one (headers too, so that the
# layer check knows which layer owns each header). DEPENDS names the layers and
# outside libraries it builds on; only our layers count for the include check.
function(corvalis_add_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPENDS" ${ARGN})
  set(files)
  foreach(file IN LISTS ARG_SOURCES)
    if(NOT IS_ABSOLUTE ${file})
      set(file ${CMAKE_CURRENT_SOURCE_DIR}/${file})
    endif()
    if(NOT EXISTS ${file})
      message(FATAL_ERROR "${name}: listed file ${file} does not exist")
    endif()
    list(APPEND files ${file})
  endforeach()
  add_library(${name} STATIC ${files})
  target_include_directories(${name} PUBLIC ${CMAKE_SOURCE_DIR})
  target_link_libraries(${name} PUBLIC ${ARG_DEPENDS})
  corvalis_target_defaults(${name})
  set_property(GLOBAL APPEND PROPERTY CORVALIS_LAYERS ${name})
  set_property(GLOBAL PROPERTY CORVALIS_LAYER_FILES_${name} ${files})
  set_property(GLOBAL PROPERTY CORVALIS_LAYER_DEPENDS_${name} ${ARG_DEPENDS})
endfunction()

# The layers a layer may include from: itself and, transitively, what it
# depends on.
function(_corvalis_layer_closure name out)
  set(result ${name})
  set(queue ${name})
  get_property(layers GLOBAL PROPERTY CORVALIS_LAYERS)
  while(queue)
    list(POP_FRONT queue current)
    get_property(deps GLOBAL PROPERTY CORVALIS_LAYER_DEPENDS_${current})
    foreach(dep IN LISTS deps)
      if(dep IN_LIST layers AND NOT dep IN_LIST result)
        list(APPEND result ${dep})
        list(APPEND queue ${dep})
      endif()
    endforeach()
  endwhile()
  set(${out} ${result} PARENT_SCOPE)
endfunction()

# Makes every layer's build fail when one of its files includes a header of a
# layer it does not depend on (an upward or sideways include), or a project
# header that no layer lists. Call once, after the last layer is declared.
function(corvalis_check_layers)
  get_property(layers GLOBAL PROPERTY CORVALIS_LAYERS)
  set(all_headers)
  foreach(layer IN LISTS layers)
    get_property(files GLOBAL PROPERTY CORVALIS_LAYER_FILES_${layer})
    foreach(file IN LISTS files)
      file(RELATIVE_PATH rel ${CMAKE_SOURCE_DIR} ${file})
      list(APPEND all_headers "${rel}=${layer}")
    endforeach()
  endforeach()
  foreach(layer IN LISTS layers)
    _corvalis_layer_closure(${layer} allowed_layers)
    get_property(files GLOBAL PROPERTY CORVALIS_LAYER_FILES_${layer})
    set(manifest ${CMAKE_BINARY_DIR}/layer-check/${layer}.cmake)
    file(WRITE ${manifest}
      "set(LAYER ${layer})\nset(FILES \"${files}\")\nset(ALLOWED_LAYERS \"${allowed_layers}\")\nset(OWNERS \"${all_headers}\")\n")
    set(stamp ${CMAKE_BINARY_DIR}/layer-check/${layer}.stamp)
    add_custom_command(OUTPUT ${stamp}
      COMMAND ${CMAKE_COMMAND} -DMANIFEST=${manifest} -DSTAMP=${stamp} -DROOT=${CMAKE_SOURCE_DIR}
              -P ${CMAKE_SOURCE_DIR}/cmake/CheckLayerIncludes.cmake
      DEPENDS ${files} ${manifest} ${CMAKE_SOURCE_DIR}/cmake/CheckLayerIncludes.cmake
      COMMENT "Checking the includes of ${layer}"
      VERBATIM)
    add_custom_target(check_layer_${layer} DEPENDS ${stamp})
    add_dependencies(${layer} check_layer_${layer})
  endforeach()
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
