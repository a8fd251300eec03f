# Runs one libFuzzer target for a bounded time on a scratch copy of its seed
# corpus, so that the committed corpus never grows, and fails on any crash,
# sanitizer report, leak, timeout or out-of-memory.
#
#   cmake -DFUZZER=<exe> -DCORPUS=<seed dir> -DWORK=<scratch dir>
#         -DSECONDS=<n> [-DMAX_LEN=<bytes>] -P run_fuzzer.cmake
foreach(_var FUZZER CORPUS WORK SECONDS)
  if(NOT DEFINED ${_var})
    message(FATAL_ERROR "run_fuzzer.cmake: ${_var} is not set")
  endif()
endforeach()
if(NOT DEFINED MAX_LEN)
  set(MAX_LEN 20000)
endif()

file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}/corpus" "${WORK}/artifacts")
file(GLOB _seeds "${CORPUS}/*")
if(NOT _seeds)
  message(FATAL_ERROR "No seed inputs in ${CORPUS}")
endif()
file(COPY ${_seeds} DESTINATION "${WORK}/corpus")

# -timeout: a single input running this long is a hang; -rss_limit_mb: the
# targets never need more than a few hundred MiB.
execute_process(
  COMMAND "${FUZZER}" -max_total_time=${SECONDS} -timeout=25 -rss_limit_mb=2560
          -max_len=${MAX_LEN} -print_final_stats=1 -artifact_prefix=${WORK}/artifacts/
          "${WORK}/corpus"
  RESULT_VARIABLE _rc)
if(NOT _rc EQUAL 0)
  message(FATAL_ERROR "${FUZZER} failed (${_rc}); the failing input is in ${WORK}/artifacts/")
endif()
