# Runs one fuzz target for SECONDS on a working corpus seeded from SEEDS.
file(MAKE_DIRECTORY ${CORPUS})
file(GLOB seeds ${SEEDS}/*)
file(COPY ${seeds} DESTINATION ${CORPUS})
execute_process(COMMAND ${FUZZER} -max_total_time=${SECONDS} -print_final_stats=1
                        ${CORPUS}
                RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "${FUZZER} found a failing input (exit ${result})")
endif()
