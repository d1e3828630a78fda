# One version for every deliverable: the project's. Each program and the DLL
# carry it in their version resource, and the release takes its name from it.
set(UNIT_PRODUCT_NAME "Unit Configuration Transfer")
if(WIN32)
  enable_language(RC)
endif()

# What tools/release.sh reads to name the archive: this build's version and
# the architecture it builds for.
file(WRITE ${CMAKE_BINARY_DIR}/release-info.txt
  "version=${PROJECT_VERSION}\narchitecture=${CMAKE_SYSTEM_PROCESSOR}\n")

# unit_version_resource(TARGET FILE_NAME DESCRIPTION): gives a Windows target a
# version resource with the project's version. FILE_NAME is the file the
# target builds (its original file name); a test holds the two together.
function(unit_version_resource target file_name description)
  if(NOT WIN32)
    return()
  endif()
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "SHARED_LIBRARY")
    set(UNIT_FILE_TYPE VFT_DLL)
  else()
    set(UNIT_FILE_TYPE VFT_APP)
  endif()
  set(UNIT_FILE_NAME "${file_name}")
  set(UNIT_FILE_DESCRIPTION "${description}")
  string(REGEX REPLACE "\\.[^.]*$" "" UNIT_INTERNAL_NAME "${file_name}")
  set(rc ${CMAKE_CURRENT_BINARY_DIR}/${target}.version.rc)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/VersionInfo.rc.in ${rc} @ONLY)
  target_sources(${target} PRIVATE ${rc})
endfunction()
