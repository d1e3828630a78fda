# unit_add_test(NAME target) registers a test executable with CTest. Windows
# executables run under Wine through tools/wine-exec.sh, inside the prefix and
# wineserver that tools/test.sh prepared.
function(unit_add_test name target)
  if(WIN32)
    add_test(NAME ${name}
             COMMAND bash ${PROJECT_SOURCE_DIR}/tools/wine-exec.sh $<TARGET_FILE:${target}> ${ARGN})
  else()
    add_test(NAME ${name} COMMAND $<TARGET_FILE:${target}> ${ARGN})
  endif()
  # Tests in the shared prefix run one at a time: the debug-output reader is
  # one per prefix. Tests that make prefixes of their own may run beside them.
  set_tests_properties(${name} PROPERTIES TIMEOUT 600 RESOURCE_LOCK shared_wine_prefix)
endfunction()
