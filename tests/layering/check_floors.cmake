# Reads every #include under the core folder ROOT and fails when a file reaches above its own
# floor. The floors, lowest first: model (data and pure functions), link (ports, HID, the links
# and the decoders of their replies), engine (the engines and updaters), app (the headless
# tool). A file may include its own floor and those below; nothing in the core includes a file
# outside it, a Qt header or an OS header (only the standard library, whose headers have no
# extension).
#
#   cmake -DROOT=src/core -P check_floors.cmake

set(floors model link engine app)
if(NOT ROOT)
  message(FATAL_ERROR "usage: cmake -DROOT=<core folder> -P check_floors.cmake")
endif()

get_filename_component(ROOT "${ROOT}" ABSOLUTE)
file(GLOB_RECURSE sources RELATIVE ${ROOT} ${ROOT}/*.h ${ROOT}/*.cpp)
set(faults 0)
set(checked 0)
foreach(source IN LISTS sources)
  string(REGEX MATCH "^[^/]+" own ${source})
  list(FIND floors ${own} own_rank)
  if(own_rank EQUAL -1 OR source STREQUAL own)
    message(SEND_ERROR "${source}: lies in no floor (${floors})")
    math(EXPR faults "${faults} + 1")
    continue()
  endif()
  file(STRINGS ${ROOT}/${source} includes REGEX "^[ \t]*#[ \t]*include")
  foreach(line IN LISTS includes)
    math(EXPR checked "${checked} + 1")
    if(line MATCHES "\"core/([^/\"]+)/[^\"]+\"")
      list(FIND floors ${CMAKE_MATCH_1} rank)
      if(rank EQUAL -1)
        message(SEND_ERROR "${source}: includes a folder that is no floor: ${line}")
        math(EXPR faults "${faults} + 1")
      elseif(rank GREATER own_rank)
        message(SEND_ERROR "${source} (${own}) includes the floor above it: ${line}")
        math(EXPR faults "${faults} + 1")
      endif()
    elseif(line MATCHES "<([^>]+)>")
      if(CMAKE_MATCH_1 MATCHES "[./]")
        message(SEND_ERROR "${source}: includes a header from outside the standard library: ${line}")
        math(EXPR faults "${faults} + 1")
      endif()
    else()
      message(SEND_ERROR "${source}: includes a file outside the core: ${line}")
      math(EXPR faults "${faults} + 1")
    endif()
  endforeach()
endforeach()

list(LENGTH sources files)
if(faults GREATER 0)
  message(FATAL_ERROR "${faults} include(s) break the floors")
endif()
message(STATUS "${files} files, ${checked} includes, every one on its floor or below")
