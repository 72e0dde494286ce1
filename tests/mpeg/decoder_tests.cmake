# Tests of the decoder outside layer III: bit reader, tables, synthesis, frame
# loop, stream information; end-to-end accuracy of layers I and II, damaged files.
lumetra_unit_test(mpeg_unit_tests
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/bit_reader_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/decoder_context_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/stream_info_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/synthesis_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/tags_and_headers_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/tables_test.cpp
  LIBS lumetra_mpeg lumetra_engine)

find_package(Python3 COMPONENTS Interpreter)
if(Python3_FOUND)
  lumetra_e2e_test(mpeg_layer12_accuracy ${Python3_EXECUTABLE} ${CMAKE_CURRENT_LIST_DIR}/layer12_accuracy.py)
  lumetra_e2e_test(mpeg_damaged_files ${Python3_EXECUTABLE} ${CMAKE_CURRENT_LIST_DIR}/damaged_files.py)
endif()

# Counts every allocation our code makes while frames decode (the sanitizers
# bring their own allocator, so only in the normal build).
if(NOT LUMETRA_SANITIZE)
  lumetra_unit_test(mpeg_no_allocation_test
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/no_allocation_test.cpp
    LIBS lumetra_mpeg)
  target_link_options(mpeg_no_allocation_test PRIVATE -Wl,--wrap=malloc,--wrap=calloc,--wrap=realloc)
endif()
