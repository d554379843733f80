# The TDS side of sqlemu: packet framing and the parsers of every client
# message (PRELOGIN, LOGIN7, SQLBatch, RPC), fed arbitrary bytes.
movan_add_fuzzer(tds_packet SOURCES ${CMAKE_CURRENT_LIST_DIR}/tds_packet_fuzzer.cpp LINK sqlemu_tds)
