# CTest's stub.size: fails when the stub (STUB) is larger than LIMIT bytes.
#   cmake -DSTUB=ZStub.exe -DLIMIT=400000 -P CheckStubSize.cmake
file(SIZE "${STUB}" size)
if(size GREATER LIMIT)
  message(FATAL_ERROR "${STUB}: ${size} bytes, more than the limit of ${LIMIT}: "
                      "find what the linker keeps before raising it (README, \"Builds\")")
endif()
message(STATUS "${STUB}: ${size} bytes (limit ${LIMIT})")
