cmake_minimum_required(VERSION 3.25)
# Compiles the program's resource script as it is, then with one fault each:
# the first must compile, each faulty one must fail with the compiler's message.
string(REPLACE "|" ";" includes "${INCLUDES}")
set(flags "")
foreach(dir IN LISTS includes)
  list(APPEND flags -I ${dir})
endforeach()
file(MAKE_DIRECTORY ${WORK})
file(READ ${SCRIPT} original)

# name | text to replace | its replacement | the message expected
set(cases
  "as it is|||"
  "unknown control style|SS_ICON,|SS_NO_SUCH_STYLE,|syntax error"
  "missing include|\"resource.h\"|\"no_such_header.h\"|no_such_header.h: No such file")
foreach(c IN LISTS cases)
  string(REPLACE "|" ";" fields "${c}")
  list(GET fields 0 name)
  list(GET fields 1 from)
  list(GET fields 2 to)
  list(GET fields 3 expected)
  set(text "${original}")
  if(from)
    string(REPLACE "${from}" "${to}" text "${original}")
  endif()
  file(WRITE ${WORK}/gifplay.rc "${text}")
  execute_process(COMMAND ${WINDRES} -O res ${flags} ${WORK}/gifplay.rc -o ${WORK}/out.res
                  RESULT_VARIABLE result ERROR_VARIABLE message)
  string(STRIP "${message}" message)
  if(NOT expected AND NOT result EQUAL 0)
    message(FATAL_ERROR "${name}: the script does not compile: ${message}")
  elseif(expected AND result EQUAL 0)
    message(FATAL_ERROR "${name}: the resource compiler accepted it")
  elseif(expected AND NOT message MATCHES "${expected}")
    message(FATAL_ERROR "${name}: unexpected message: ${message}")
  endif()
  message(STATUS "${name}: ${message}")
endforeach()
