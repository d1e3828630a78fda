# The saved-file catalogue's tests. Plain C++ without windows.h: the target
# builds in the cross tree (run under Wine) and in the native sanitizer tree.
# Included from whichever tests directory gets here first.
if(NOT TARGET catalogue_tests)
  add_executable(catalogue_tests
    ${CMAKE_CURRENT_LIST_DIR}/SavedFileCatalogueTest.cpp
    ${PROJECT_SOURCE_DIR}/Software/Tendwick/Base/engine/rules/SavedFileCatalogue.cpp)
  target_include_directories(catalogue_tests PRIVATE ${PROJECT_SOURCE_DIR}/Software/Tendwick/Base/engine/rules)
  target_link_libraries(catalogue_tests PRIVATE keyfile GTest::gtest_main)
  unit_add_test(catalogue catalogue_tests)
endif()
