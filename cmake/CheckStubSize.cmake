# CTest's stub.size: fails when the stub (STUB) is larger than LIMIT bytes.
#   cmake -DSTUB=ZStub.exe -DLIMIT=400000 -P CheckStubSize.cmake
file(SIZE "${STUB}" size)
if(size GREATER LIMIT)
  message(FATAL_ERROR "${STUB}: ${size} bytes, more than the limit of ${LIMIT}: "
                      "find what the linker keeps before raising it (README, \"Builds\")")
endif()
# Its runtime is single-threaded (driver/StubSingleThread.cpp): it must start no thread.
file(STRINGS "${STUB}" thread_starts REGEX "CreateThread|_beginthread|CreateRemoteThread")
if(thread_starts)
  message(FATAL_ERROR "${STUB} imports a thread start (${thread_starts}): its runtime is single-threaded")
endif()
message(STATUS "${STUB}: ${size} bytes (limit ${LIMIT})")
