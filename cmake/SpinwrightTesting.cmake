# spinwright_add_test(<name> LABEL <label>... [SOURCES ...] [LIBS ...] [ENV ...] [TIMEOUT s])
# Builds one QtTest executable and registers it with ctest, headless and with the
# sanitizer run-time options that fit the tree's setting.
set(SPINWRIGHT_SUPPRESSIONS_DIR "${CMAKE_CURRENT_LIST_DIR}/../scripts/sanitizers")

function(spinwright_test_environment out)
  set(env
    QT_QPA_PLATFORM=offscreen
    QT_QUICK_BACKEND=software
    QT_QUICK_CONTROLS_STYLE=Fusion
    XDG_RUNTIME_DIR=${CMAKE_BINARY_DIR}/xdg-runtime)
  if(SPINWRIGHT_TEST_CAMLIBS)
    list(APPEND env "CAMLIBS=${SPINWRIGHT_TEST_CAMLIBS}")
  endif()
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
  # LABEL takes a list ("camera;usb" or camera usb).
  cmake_parse_arguments(T "" "TIMEOUT" "LABEL;SOURCES;LIBS;ENV" ${ARGN})
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
  # A home of its own: tests that run at once (a test and its usb twin) never share a settings
  # folder, and none touches the user's own.
  set(home "${CMAKE_BINARY_DIR}/test-homes/${name}")
  file(MAKE_DIRECTORY "${home}")
  list(APPEND env "HOME=${home}" "XDG_DATA_HOME=${home}/.local/share" "XDG_CONFIG_HOME=${home}/.config"
    "XDG_CACHE_HOME=${home}/.cache")
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

find_package(PkgConfig REQUIRED)

# libgphoto2 loads every camera driver it finds, in any process that has the tethered camera
# plug-in, and some of those drivers leak in their initialisers (which the ASan suite reports);
# the emulated cameras need the PTP driver alone, and the search is quicker with it.
pkg_check_modules(TEST_GPHOTO2 QUIET libgphoto2)
if(TEST_GPHOTO2_FOUND)
  pkg_get_variable(test_gphoto2_camlibs libgphoto2 driverdir)
  set(SPINWRIGHT_TEST_CAMLIBS "${CMAKE_BINARY_DIR}/test-camlibs")
  file(MAKE_DIRECTORY "${SPINWRIGHT_TEST_CAMLIBS}")
  file(CREATE_LINK "${test_gphoto2_camlibs}/ptp2.so" "${SPINWRIGHT_TEST_CAMLIBS}/ptp2.so" SYMBOLIC)
endif()

# The tests labelled usb run the libftdi1 back end on FT245R chips emulated under umockdev
# (tests/support); without umockdev they are left out.
pkg_check_modules(UMOCKDEV IMPORTED_TARGET umockdev-1.0)
if(UMOCKDEV_FOUND AND NOT (WIN32 AND SPINWRIGHT_USE_FTD2XX))
  set(SPINWRIGHT_USB_TESTS ON)
  # A sanitizer's run time must be loaded before anything else it watches.
  set(SPINWRIGHT_USB_PRELOAD "libumockdev-preload.so.0")
  if(SPINWRIGHT_SANITIZER STREQUAL "address" OR SPINWRIGHT_SANITIZER STREQUAL "thread")
    set(runtime libasan.so)
    if(SPINWRIGHT_SANITIZER STREQUAL "thread")
      set(runtime libtsan.so)
    endif()
    execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${runtime}
                    OUTPUT_VARIABLE runtime_path OUTPUT_STRIP_TRAILING_WHITESPACE)
    get_filename_component(runtime_path "${runtime_path}" REALPATH)
    set(SPINWRIGHT_USB_PRELOAD "${runtime_path}:${SPINWRIGHT_USB_PRELOAD}")
  endif()
else()
  set(SPINWRIGHT_USB_TESTS OFF)
  message(STATUS "umockdev-1.0 not found: the usb tests are left out (scripts/install-deps installs it)")
endif()

# spinwright_add_usb_test(<name> [SOURCES ...] [LIBS ...] [ENV ...] [TIMEOUT s])
# The same test sources once more, as <name>_usb, with their d2xxsim calls driving emulated
# USB chips through libftdi1 instead of the simulated back end.
function(spinwright_add_usb_test name)
  if(NOT SPINWRIGHT_USB_TESTS)
    return()
  endif()
  cmake_parse_arguments(U "" "TIMEOUT" "SOURCES;LIBS;ENV" ${ARGN})
  if(NOT U_TIMEOUT)
    set(U_TIMEOUT 300)
  endif()
  spinwright_add_test(${name}_usb LABEL usb SOURCES ${U_SOURCES} LIBS ${U_LIBS} EmulatedFt245r
    ENV "LD_PRELOAD=${SPINWRIGHT_USB_PRELOAD}" ${U_ENV} TIMEOUT ${U_TIMEOUT})
  # For the few checks only the simulated board can make (its call counters, a user without access).
  target_compile_definitions(tst_${name}_usb PRIVATE SPINWRIGHT_TEST_USB_LINK)
endfunction()
