# The AVI reader and frame decoder take files from anywhere; neither may
# crash, hang or read out of bounds on any input.
movan_add_fuzzer(avi_reader
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/avi_reader_fuzzer.cpp
          ${MOVAN_ROOT}/src/avi/avi_reader.cpp
          ${MOVAN_ROOT}/src/avi/avi_frame_decoder.cpp)
target_include_directories(fuzz_avi_reader PRIVATE ${MOVAN_ROOT}/src)
