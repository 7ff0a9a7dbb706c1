# cncsend_layer(NAME DIR [DEPS ...])
# One static library per layer, made of every .cpp in DIR (and, on this
# platform, DIR/posix). A layer with no sources yet is an interface target.
# The link dependencies are the only way a layer reaches another, so the
# arrows of the architecture are kept by the build.
function(cncsend_layer name)
  cmake_parse_arguments(L "" "" "DEPS;SUBDIRS" ${ARGN})
  set(globs ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  foreach(sub ${L_SUBDIRS})
    list(APPEND globs ${CMAKE_CURRENT_SOURCE_DIR}/${sub}/*.cpp)
  endforeach()
  file(GLOB sources CONFIGURE_DEPENDS ${globs})
  if(sources)
    add_library(${name} STATIC ${sources})
    target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
    target_link_libraries(${name} PUBLIC ${L_DEPS})
  else()
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${PROJECT_SOURCE_DIR}/src)
    target_link_libraries(${name} INTERFACE ${L_DEPS})
  endif()
endfunction()

# cncsend_unit_tests(NAME LIBS ... [POSIX_ONLY file.cpp ...])
# One GoogleTest executable per test folder; every .cpp in it is a test file.
# Files listed as POSIX_ONLY test the posix backends or use pseudo-terminals
# and are left out of a Windows build.
function(cncsend_unit_tests name)
  cmake_parse_arguments(T "" "" "LIBS;POSIX_ONLY" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  if(WIN32)
    foreach(file ${T_POSIX_ONLY})
      list(REMOVE_ITEM sources ${CMAKE_CURRENT_SOURCE_DIR}/${file})
    endforeach()
  endif()
  if(NOT sources)
    return()
  endif()
  add_executable(${name} ${sources})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main GTest::gmock)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests)
  if(CMAKE_CROSSCOMPILING)
    # Each start of a cross-built test costs an emulator start (Wine):
    # one ctest test per executable, not one per test case.
    add_test(NAME ${name} COMMAND ${name} --gtest_brief=1)
    set_tests_properties(${name} PROPERTIES LABELS unit TIMEOUT 120)
  else()
    gtest_discover_tests(${name} PROPERTIES LABELS unit DISCOVERY_TIMEOUT 60)
  endif()
endfunction()
