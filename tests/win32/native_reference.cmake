# The native side of the Windows case matrix: the native build's own scalar
# outputs of its matrix (tests runner.<module>.scalar there). Both Windows
# builds compare with them, so they are made once: here only when missing or
# older than the native module, runner or matrix.
#
#   cmake -DNATIVE=<native build> -DMODULES="a;b" -DCTEST=ctest -P native_reference.cmake
set(dir ${NATIVE}/tests/runner)
set(stale "")
foreach(name ${MODULES})
  set(results ${dir}/out-${name}-scalar/results.txt)
  foreach(input ${NATIVE}/bin/${name}.so ${NATIVE}/bin/zelt_case_runner ${dir}/cases/matrix.txt)
    # Also true when either file is missing.
    if("${input}" IS_NEWER_THAN "${results}")
      list(APPEND stale ${name})
      break()
    endif()
  endforeach()
endforeach()
if(NOT stale)
  message(STATUS "native scalar outputs up to date in ${dir}")
  return()
endif()
string(REPLACE ";" "|" alternatives "${stale}")
message(STATUS "making the native scalar outputs of ${stale}")
execute_process(
  COMMAND ${CTEST} --test-dir ${NATIVE} --output-on-failure -R "^runner\\.(${alternatives})\\.scalar$"
  RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "the native scalar runs failed in ${NATIVE}")
endif()
