# Helpers shared by every folder's CMakeLists.
#
# sx_library(<target> [EXCLUDE file...] [DEPS target...] [DSP])
#   One static library from the *.cpp files of the calling folder. Files named
#   after EXCLUDE are left out (another target of the folder builds them).
#   DSP adds -ffp-contract=off so float results do not depend on instruction
#   selection. A folder without sources yet becomes an INTERFACE library.
function(sx_library target)
  cmake_parse_arguments(SX "DSP" "" "EXCLUDE;DEPS;SOURCES" ${ARGN})
  if(SX_SOURCES)
    set(srcs ${SX_SOURCES})
  else()
    file(GLOB srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
    foreach(ex IN LISTS SX_EXCLUDE)
      list(REMOVE_ITEM srcs ${CMAKE_CURRENT_SOURCE_DIR}/${ex})
    endforeach()
  endif()
  if(srcs)
    add_library(${target} STATIC ${srcs})
    target_include_directories(${target} PUBLIC ${PROJECT_SOURCE_DIR})
    target_link_libraries(${target} PUBLIC ${SX_DEPS})
    if(SX_DSP)
      target_compile_options(${target} PRIVATE -ffp-contract=off)
    endif()
  else()
    add_library(${target} INTERFACE)
    target_include_directories(${target} INTERFACE ${PROJECT_SOURCE_DIR})
    target_link_libraries(${target} INTERFACE ${SX_DEPS})
  endif()
endfunction()

# sx_tests(<folder> DEPS target...)
#   One GoogleTest executable per tests/<folder>/*_test.cpp, linked with the
#   given libraries and any tests/<folder>/support/*.cpp helpers.
function(sx_tests folder)
  cmake_parse_arguments(SX "" "" "DEPS" ${ARGN})
  file(GLOB tests CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*_test.cpp)
  file(GLOB support CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/support/*.cpp)
  foreach(src IN LISTS tests)
    get_filename_component(name ${src} NAME_WE)
    set(exe ${folder}_${name})
    string(REPLACE "-" "_" exe ${exe})
    add_executable(${exe} ${src} ${support})
    target_include_directories(${exe} PRIVATE ${PROJECT_SOURCE_DIR} ${PROJECT_SOURCE_DIR}/tests)
    target_link_libraries(${exe} PRIVATE ${SX_DEPS} GTest::gtest GTest::gtest_main GTest::gmock)
    target_compile_options(${exe} PRIVATE -ffp-contract=off)
    gtest_discover_tests(${exe} DISCOVERY_MODE PRE_TEST NO_PRETTY_VALUES
      PROPERTIES ENVIRONMENT "SX_SOURCE_DIR=${PROJECT_SOURCE_DIR}")
  endforeach()
endfunction()
