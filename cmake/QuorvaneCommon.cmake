# Settings every target shares: warnings, Qt's safety defines, include paths from the repository root.
add_library(quorvane_config INTERFACE)
target_compile_options(quorvane_config INTERFACE -Wall -Wextra)
target_compile_definitions(quorvane_config INTERFACE
  QT_NO_CAST_FROM_ASCII QT_NO_CAST_TO_ASCII QT_NO_CONTEXTLESS_CONNECT QT_USE_QSTRINGBUILDER QT_NO_FOREACH
  QUORVANE_VERSION="${PROJECT_VERSION}")
target_include_directories(quorvane_config INTERFACE ${PROJECT_SOURCE_DIR} ${PROJECT_BINARY_DIR})

set(QUORVANE_SANITIZE "" CACHE STRING "Sanitizers to build with, e.g. address,undefined")
if(QUORVANE_SANITIZE)
  add_compile_options(-fsanitize=${QUORVANE_SANITIZE} -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=${QUORVANE_SANITIZE})
endif()

# quorvane_add_test(NAME name SOURCES a.cpp ... LIBS lib ... [DBUS] [GUI] [TIMEOUT s] [LABELS l ...])
#   DBUS: run under a private session bus of its own (dbus-run-session), so tests never share bus names;
#         it starts no installed services on demand.
#   GUI:  widgets on the offscreen platform.
function(quorvane_add_test)
  cmake_parse_arguments(T "DBUS;GUI" "NAME;TIMEOUT" "SOURCES;LIBS;LABELS;ARGS" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE quorvane_config Qt6::Test ${T_LIBS})
  if(T_DBUS)
    add_test(NAME ${T_NAME} COMMAND dbus-run-session --config-file=${PROJECT_SOURCE_DIR}/tests/common/session-bus.conf
                                   -- $<TARGET_FILE:${T_NAME}> ${T_ARGS})
  else()
    add_test(NAME ${T_NAME} COMMAND ${T_NAME} ${T_ARGS})
  endif()
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 120)
  endif()
  set(env "QT_QPA_PLATFORM=offscreen" "QUORVANE_SOURCE_DIR=${PROJECT_SOURCE_DIR}" "QUORVANE_BINARY_DIR=${PROJECT_BINARY_DIR}"
          "ASAN_OPTIONS=detect_leaks=0:abort_on_error=1" "UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1")
  set_tests_properties(${T_NAME} PROPERTIES TIMEOUT ${T_TIMEOUT} ENVIRONMENT "${env}" LABELS "${T_LABELS}")
endfunction()
