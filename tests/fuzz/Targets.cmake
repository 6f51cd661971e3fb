# The fuzz targets (tests/fuzz/fuzz_<name>.cpp, corpus in tests/fuzz/corpus/<name>), shared by
# their build and the CTest runs of the native build.
set(Z_FUZZ_TARGETS package checksum token blocks namepart path inflate
  records decision markup inform switches lang variables http)
