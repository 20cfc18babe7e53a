# spinwright_add_test(<name> LABEL <label> [SOURCES ...] [LIBS ...] [ENV ...] [TIMEOUT s])
# Builds one QtTest executable and registers it with ctest, headless and with the
# sanitizer run-time options that fit the tree's setting.
set(SPINWRIGHT_SUPPRESSIONS_DIR "${CMAKE_CURRENT_LIST_DIR}/../scripts/sanitizers")

function(spinwright_test_environment out)
  set(env
    QT_QPA_PLATFORM=offscreen
    QT_QUICK_BACKEND=software
    QT_QUICK_CONTROLS_STYLE=Fusion
    XDG_RUNTIME_DIR=${CMAKE_BINARY_DIR}/xdg-runtime)
  if(SPINWRIGHT_SANITIZER STREQUAL "address")
    # Ten frames of each allocation's stack name our caller; unwinding the default thirty
    # through Qt's code on every allocation made the suite three times slower.
    list(APPEND env
      "ASAN_OPTIONS=detect_leaks=1:abort_on_error=0:malloc_context_size=10"
      "UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1"
      "LSAN_OPTIONS=suppressions=${SPINWRIGHT_SUPPRESSIONS_DIR}/lsan.supp")
  elseif(SPINWRIGHT_SANITIZER STREQUAL "thread")
    list(APPEND env
      "TSAN_OPTIONS=ignore_noninstrumented_modules=1:halt_on_error=1:suppressions=${SPINWRIGHT_SUPPRESSIONS_DIR}/tsan.supp")
  endif()
  set(${out} "${env}" PARENT_SCOPE)
endfunction()

function(spinwright_add_test name)
  cmake_parse_arguments(T "" "LABEL;TIMEOUT" "SOURCES;LIBS;ENV" ${ARGN})
  if(NOT T_SOURCES)
    set(T_SOURCES tst_${name}.cpp)
  endif()
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  add_executable(tst_${name} ${T_SOURCES})
  target_link_libraries(tst_${name} PRIVATE Qt5::Test ${T_LIBS})
  set_target_properties(tst_${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY "${CMAKE_BINARY_DIR}/tests")
  add_test(NAME ${name} COMMAND tst_${name})
  spinwright_test_environment(env)
  list(APPEND env ${T_ENV})
  set_tests_properties(${name} PROPERTIES
    LABELS "${T_LABEL}"
    TIMEOUT ${T_TIMEOUT}
    ENVIRONMENT "${env}")
endfunction()

# Adds every direct subdirectory that has a CMakeLists.txt, so that each unit's tests
# live in a folder of their own (tests/<deliverable>/<unit>/).
function(spinwright_add_subdirectories)
  file(GLOB children LIST_DIRECTORIES true CONFIGURE_DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/*")
  list(SORT children)
  foreach(child ${children})
    if(IS_DIRECTORY "${child}" AND EXISTS "${child}/CMakeLists.txt")
      add_subdirectory("${child}")
    endif()
  endforeach()
endfunction()
