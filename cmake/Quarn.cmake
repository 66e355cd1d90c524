# quarn_library(NAME DEPS...): the static library of one subsystem folder,
# built from every .cpp/.c/.h in the calling folder.
function(quarn_library name)
  file(GLOB _srcs CONFIGURE_DEPENDS
       ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.c
       ${CMAKE_CURRENT_SOURCE_DIR}/*.h)
  if(NOT _srcs)
    # A subsystem whose code has not arrived yet: an interface target keeps the graph whole.
    add_library(quarn_${name} INTERFACE)
    target_include_directories(quarn_${name} INTERFACE ${CMAKE_SOURCE_DIR}/src)
    target_link_libraries(quarn_${name} INTERFACE ${ARGN})
    return()
  endif()
  add_library(quarn_${name} STATIC ${_srcs})
  target_include_directories(quarn_${name} PUBLIC ${CMAKE_SOURCE_DIR}/src)
  target_link_libraries(quarn_${name} PUBLIC ${ARGN})
  target_compile_definitions(quarn_${name} PRIVATE QUARN_VERSION="${PROJECT_VERSION}")
endfunction()

# quarn_test(NAME SOURCES... LIBS libs...): one Qt Test executable registered
# with CTest; widget tests run offscreen and every test gets its own data folder.
function(quarn_test name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE quarn_testsupport Qt6::Test ${T_LIBS})
  target_compile_definitions(${name} PRIVATE QUARN_BIN_DIR="${QUARN_BIN_DIR}"
                             QUARN_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
  add_test(NAME ${name} COMMAND ${name})
  # The program writes into the user's desktop folders (its desktop entry at
  # start-up): every test gets a home and XDG folders of its own.
  set(_home ${CMAKE_BINARY_DIR}/testdata/${name}/home)
  file(MAKE_DIRECTORY ${_home})
  set(_env "QT_QPA_PLATFORM=offscreen;QUARN_DATA_DIR=${CMAKE_BINARY_DIR}/testdata/${name};HOME=${_home};XDG_DATA_HOME=${_home}/.local/share;XDG_CONFIG_HOME=${_home}/.config;XDG_CACHE_HOME=${_home}/.cache;XDG_STATE_HOME=${_home}/.local/state")
  set(_timeout 600)
  # Sanitized builds run several times slower: the multi-gigabyte tests need
  # more than Qt Test's five minutes per function.
  if(QUARN_SANITIZE OR QUARN_TSAN)
    list(APPEND _env "QTEST_FUNCTION_TIMEOUT=1800000")
    set(_timeout 2400)
  endif()
  set_tests_properties(${name} PROPERTIES ENVIRONMENT "${_env}" TIMEOUT ${_timeout})
endfunction()

# quarn_uses_modules(NAME): NAME loads the compression modules from the bin
# folder at run time, so they are built before it.
function(quarn_uses_modules name)
  foreach(_m ziplib unzlib unrar)
    if(TARGET ${_m})
      add_dependencies(${name} ${_m})
    endif()
  endforeach()
endfunction()
