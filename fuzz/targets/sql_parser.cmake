# The T-SQL tokenizer and parser of sqlemu, fed arbitrary batches.
movan_add_fuzzer(sql_parser SOURCES ${CMAKE_CURRENT_LIST_DIR}/sql_parser_fuzzer.cpp LINK sqlemu_sql)
