# Shared helpers for the subsystem CMakeLists.

# lumetra_unit_test(NAME SOURCES... LIBS ...): a GoogleTest executable run by CTest,
# labelled "unit" so the sanitizer build can run exactly these.
function(lumetra_unit_test name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main GTest::gmock)
  add_test(NAME ${name} COMMAND ${name})
  set_property(GLOBAL APPEND PROPERTY LUMETRA_UNIT_TARGETS ${name})
  set(labels unit ${T_LABELS})
  set_tests_properties(${name} PROPERTIES LABELS "${labels}"
    ENVIRONMENT "LUMETRA_AUDIO=null;LUMETRA_SOURCE_DIR=${PROJECT_SOURCE_DIR}")
endfunction()

# lumetra_e2e_test(NAME COMMAND...): an end-to-end test (real tools, servers); not
# part of the sanitizer run.
function(lumetra_e2e_test name)
  add_test(NAME ${name} COMMAND ${ARGN})
  set_tests_properties(${name} PROPERTIES LABELS e2e
    ENVIRONMENT "LUMETRA_BUILD_DIR=${PROJECT_BINARY_DIR};LUMETRA_SOURCE_DIR=${PROJECT_SOURCE_DIR}")
endfunction()

# Resources generated at build time register here; resources/CMakeLists.txt embeds them.
# lumetra_generated_resource(TYPE NAME FILE DEPENDS target-or-file)
# A DEPENDS target makes the embedding wait for the generator (file-level
# dependencies do not cross directories).
function(lumetra_generated_resource type name file)
  cmake_parse_arguments(R "" "" "DEPENDS" ${ARGN})
  set_property(GLOBAL APPEND PROPERTY LUMETRA_RESOURCE_ENTRIES "${type}|${name}|${file}")
  set_property(GLOBAL APPEND PROPERTY LUMETRA_RESOURCE_FILES "${file}")
  foreach(dep ${R_DEPENDS})
    if(TARGET ${dep})
      set_property(GLOBAL APPEND PROPERTY LUMETRA_RESOURCE_TARGETS "${dep}")
    endif()
  endforeach()
endfunction()

# lumetra_module(TARGET FILE_NAME USER SOURCES...): a module loaded on first use
# (platform/module_loader.h) as FILE_NAME, built beside the sources' build folder;
# it exports only its entry function. USER, the library that loads it, learns the
# folder as LUMETRA_MODULE_DIR and builds after it.
function(lumetra_module target file_name user)
  add_library(${target} MODULE ${ARGN})
  set_target_properties(${target} PROPERTIES OUTPUT_NAME ${file_name} PREFIX "" SUFFIX ".so"
    CXX_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON LIBRARY_OUTPUT_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
  target_include_directories(${target} PRIVATE ${PROJECT_SOURCE_DIR})
  target_link_options(${target} PRIVATE -Wl,--exclude-libs,ALL)
  target_compile_definitions(${user} PRIVATE LUMETRA_MODULE_DIR="${CMAKE_CURRENT_BINARY_DIR}")
  add_dependencies(${user} ${target})
endfunction()
