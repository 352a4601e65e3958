# Registers a GoogleTest program with ctest. Cross builds run it under Wine
# (the toolchain file sets the emulator); tests are listed when ctest runs, so
# building never needs Wine.
function(cartscope_add_gtest target)
  target_link_libraries(${target} PRIVATE GTest::gtest_main)
  gtest_discover_tests(${target}
    WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 120
    PROPERTIES TIMEOUT 120 ENVIRONMENT "CARTSCOPE_SOURCE_DIR=${PROJECT_SOURCE_DIR}")
endfunction()
