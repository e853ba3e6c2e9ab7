# cmake -DGZIP=<gzip> -DINPUT=<file> -DOUTPUT=<file.gz> -P GzipFile.cmake
# At the highest level and without the input's name and time (-n), so that the same input always
# gives the same bytes.
execute_process(COMMAND "${GZIP}" -9 -n -c "${INPUT}" OUTPUT_FILE "${OUTPUT}.tmp" RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  file(REMOVE "${OUTPUT}.tmp")
  message(FATAL_ERROR "gzip ${INPUT} failed: ${status}")
endif()
file(RENAME "${OUTPUT}.tmp" "${OUTPUT}")
