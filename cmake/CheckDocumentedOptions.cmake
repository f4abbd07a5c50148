# cmake -DCLI=trawlex-cli -DDOCUMENTS="page;completion" -P CheckDocumentedOptions.cmake
# Fails when an option that `trawlex-cli --help` names is missing from one of the documents,
# so that the manual page and the shell completion keep up with the program.

execute_process(COMMAND "${CLI}" --help OUTPUT_VARIABLE help RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${CLI} --help ended with ${status}")
endif()
# An option stands after a blank or a bracket: "--location", "-h", "--term=Fund".
string(REGEX MATCHALL "[ \t\n(\"][-][-]?[a-z0-9][a-z0-9-]*" found "${help}")
set(options)
foreach(match IN LISTS found)
  string(REGEX REPLACE "^[ \t\n(\"]" "" option "${match}")
  list(APPEND options "${option}")
endforeach()
list(REMOVE_DUPLICATES options)
list(LENGTH options count)
if(count LESS 20)
  message(FATAL_ERROR "Only ${count} options found in the help text: ${options}")
endif()

set(missing)
foreach(document IN LISTS DOCUMENTS)
  file(READ "${document}" text)
  # roff writes a hyphen of an option as \-.
  string(REPLACE "\\-" "-" text "${text}")
  foreach(option IN LISTS options)
    if(NOT text MATCHES "(^|[^a-z0-9-])${option}([^a-z0-9-]|$)")
      list(APPEND missing "${option} (${document})")
    endif()
  endforeach()
endforeach()
if(missing)
  list(JOIN missing "\n  " lines)
  message(FATAL_ERROR "Options of --help not documented:\n  ${lines}")
endif()
message(STATUS "${count} options of --help documented in every document")
