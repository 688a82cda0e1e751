# Fails when a module holds any MMX instruction (an MMX register operand, or
# emms): the 64-bit editor does not expect the MMX state to be touched, so
# the 64-bit modules must never select an MMX kernel, and with none selected
# the linker leaves them all out.
#
#   cmake -DMODULE=path -DOBJDUMP=x86_64-w64-mingw32-objdump -P check_no_mmx.cmake
execute_process(
  COMMAND ${OBJDUMP} -d --no-show-raw-insn "${MODULE}"
  COMMAND grep -E -m 10 "%mm[0-7]|[[:space:]]f?emms"
  OUTPUT_VARIABLE hits
  RESULTS_VARIABLE rcs)
list(GET rcs 0 dump_rc)
list(GET rcs 1 grep_rc)
if(NOT dump_rc EQUAL 0)
  message(FATAL_ERROR "${OBJDUMP} failed on ${MODULE}")
endif()
if(grep_rc EQUAL 0)
  message(FATAL_ERROR "${MODULE} holds MMX instructions, e.g.:\n${hits}")
elseif(NOT grep_rc EQUAL 1)
  message(FATAL_ERROR "grep failed on the disassembly of ${MODULE}")
endif()
get_filename_component(file_name "${MODULE}" NAME)
message(STATUS "${file_name}: no MMX instruction")
