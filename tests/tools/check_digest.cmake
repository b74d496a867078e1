# cmake -DFILE=path -DSIZE=bytes -DSHA256=hex -P check_digest.cmake
# Fails unless the file has exactly that size and digest.
file(SIZE "${FILE}" size)
file(SHA256 "${FILE}" digest)
if(NOT size EQUAL SIZE OR NOT digest STREQUAL SHA256)
    message(FATAL_ERROR "${FILE}: ${size} bytes, SHA-256 ${digest}; expected ${SIZE} bytes, ${SHA256}")
endif()
