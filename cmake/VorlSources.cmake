# Every folder lists its sources by pattern so that a new command group is a new file and
# nothing else: foo.cpp is portable, foo_posix.cpp / foo_win32.cpp belong to one platform,
# foo_linux_MECHANISM.cpp and foo_systemd.cpp to Linux alone, foo_test.cpp goes into the unit
# test program, main.cpp into the folder's program.
function(vorl_collect_sources out_var dir)
  file(GLOB all CONFIGURE_DEPENDS "${dir}/*.cpp")
  set(result "")
  foreach(f IN LISTS all)
    get_filename_component(name "${f}" NAME_WE)
    if(name MATCHES "_test$" OR name STREQUAL "main" OR name MATCHES "_fuzz$")
      continue()
    endif()
    if(name MATCHES "_(posix|win32)$" AND NOT name MATCHES "_${VORL_PLATFORM_SUFFIX}$")
      continue()
    endif()
    if(name MATCHES "(_linux_[a-z0-9_]+|_systemd)$" AND NOT CMAKE_SYSTEM_NAME STREQUAL "Linux")
      continue()
    endif()
    list(APPEND result "${f}")
  endforeach()
  set(${out_var} "${result}" PARENT_SCOPE)
endfunction()

function(vorl_collect_tests out_var dir)
  file(GLOB all CONFIGURE_DEPENDS "${dir}/*_test.cpp")
  set(${out_var} "${all}" PARENT_SCOPE)
endfunction()
