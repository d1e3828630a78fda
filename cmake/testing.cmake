# The Wine architecture this tree's programs need: the i686 build runs in a
# 32-bit prefix, the x86_64 build in a 64-bit one (tools/wine-arch.sh).
if(WIN32)
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(UNIT_WINE_ARCH win64)
  else()
    set(UNIT_WINE_ARCH win32)
  endif()
endif()

# unit_add_test(NAME target) registers a test executable with CTest. Windows
# executables run under Wine through tools/wine-exec.sh, inside the prefix and
# wineserver that tools/test.sh prepared.
function(unit_add_test name target)
  if(WIN32)
    add_test(NAME ${name}
             COMMAND bash ${PROJECT_SOURCE_DIR}/tools/wine-exec.sh $<TARGET_FILE:${target}> ${ARGN})
    set_tests_properties(${name} PROPERTIES ENVIRONMENT "UNIT_WINE_ARCH=${UNIT_WINE_ARCH}")
  else()
    add_test(NAME ${name} COMMAND $<TARGET_FILE:${target}> ${ARGN})
  endif()
  # Tests in the shared prefix run one at a time: the debug-output reader is
  # one per prefix. Tests that make prefixes of their own may run beside them.
  set_tests_properties(${name} PROPERTIES TIMEOUT 600 RESOURCE_LOCK shared_wine_prefix)
endfunction()

# unit_add_script_test(NAME TIMEOUT script [args]) registers a test script that
# lays out units in Wine prefixes of its own from this tree's programs.
function(unit_add_script_test name timeout script)
  add_test(NAME ${name} COMMAND bash ${script} ${ARGN})
  set_tests_properties(${name} PROPERTIES TIMEOUT ${timeout}
    ENVIRONMENT "UNIT_IMAGE_BIN=${CMAKE_BINARY_DIR}/bin;UNIT_WINE_ARCH=${UNIT_WINE_ARCH}")
endfunction()
