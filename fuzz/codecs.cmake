# One fuzz target per block decoder (stored, zlib, LZMA, LZO); scripts/fuzz-smoke.sh runs
# each briefly, longer runs: build/host-fuzz/bin/fuzz_codec_lzma -max_total_time=60
foreach(_m stored zlib lzma lzo)
  kvo_add_fuzzer(fuzz_codec_${_m} ${CMAKE_CURRENT_LIST_DIR}/fuzz_codec_${_m}.cpp)
endforeach()
