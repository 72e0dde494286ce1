# Layer III: unit tests of its parts.
lumetra_unit_test(layer3_unit_test
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/layer3_huffman_tables_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/layer3_huffman_decoder_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/layer3_reference_codes.cpp
    ${CMAKE_CURRENT_LIST_DIR}/layer3_reservoir_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/layer3_transform_test.cpp
  LIBS lumetra_mpeg_layer3)
