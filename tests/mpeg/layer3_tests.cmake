# Layer III: unit tests of its parts.
lumetra_unit_test(layer3_unit_test
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/layer3_frame_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/layer3_huffman_tables_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/layer3_huffman_decoder_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/layer3_reference_codes.cpp
    ${CMAKE_CURRENT_LIST_DIR}/layer3_reservoir_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/layer3_scale_factors_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/layer3_transform_test.cpp
  LIBS lumetra_mpeg_layer3)
target_compile_definitions(layer3_unit_test PRIVATE LUMETRA_TEST_SOURCE_DIR="${PROJECT_SOURCE_DIR}")

# Layer III against mpg123 on streams made with lame and ffmpeg, one test per
# sampling rate, plus opening in the middle of a stream.
foreach(group 32000 44100 48000 16000 22050 24000 11025 8000 midstream)
  lumetra_e2e_test(layer3_accuracy_${group} python3 ${CMAKE_CURRENT_LIST_DIR}/layer3_accuracy.py ${group})
endforeach()
