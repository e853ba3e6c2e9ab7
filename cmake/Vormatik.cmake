# vx_library(<target> [DEPS <libs>...])
# A static library of every .cpp file in the calling folder.
function(vx_library target)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  if(NOT sources)
    # A folder that has no code yet still gives a target the others can link.
    set(sources ${PROJECT_SOURCE_DIR}/cmake/empty.cpp)
  endif()
  add_library(${target} STATIC ${sources})
  target_link_libraries(${target} PUBLIC ${ARG_DEPS})
endfunction()

# vx_test(<name> SOURCES <files>... [LIBS <libs>...] [GUI] [MAIN <lib>])
# One GoogleTest executable; its cases are found when ctest runs.
# GUI tests link the Qt offscreen main from tests/support instead of gtest_main.
function(vx_test name)
  cmake_parse_arguments(ARG "GUI" "MAIN" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  if(ARG_MAIN)
    set(main ${ARG_MAIN})
  elseif(ARG_GUI)
    set(main vx_gui_test_main)
  else()
    set(main vx_test_main)
  endif()
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} ${main} GTest::gtest GTest::gmock)
  gtest_discover_tests(${name}
    DISCOVERY_MODE PRE_TEST
    PROPERTIES ENVIRONMENT "TZ=UTC;LC_ALL=C.UTF-8;QT_QPA_PLATFORM=offscreen")
endfunction()

# vx_folder_tests(<name> [LIBS <libs>...] [GUI])
# One test executable of every *_test.cpp file in the calling folder.
function(vx_folder_tests name)
  cmake_parse_arguments(ARG "GUI" "" "LIBS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*_test.cpp)
  if(NOT sources)
    return()
  endif()
  if(ARG_GUI)
    vx_test(${name} GUI SOURCES ${sources} LIBS ${ARG_LIBS})
  else()
    vx_test(${name} SOURCES ${sources} LIBS ${ARG_LIBS})
  endif()
endfunction()
