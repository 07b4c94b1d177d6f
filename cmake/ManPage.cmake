# Writes a manual page in German from a program's own help, at build time:
#   cmake -DPROGRAM=<path> -DPAGE=<name> -DSUMMARY=<one line> -DOUTPUT=<file>
#         [-DCOMMANDS=<cmd,cmd,...>] [-DSEE_ALSO=<a(1), b(1)>] -DVERSION=<v> -P ManPage.cmake
# The help is kept line by line (no filling); each command's help becomes a
# subsection of BEFEHLE.

# A line of help as troff text: backslashes escaped, a leading "." or "'"
# guarded, so that no line of help is read as a request.
function(troff_lines text out)
  string(REPLACE "\\" "\\e" text "${text}")
  string(REGEX REPLACE "(^|\n)([.'])" "\\1\\\\&\\2" text "${text}")
  string(REGEX REPLACE "\n+$" "" text "${text}")
  string(APPEND text "\n")
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

function(help_of arguments out)
  execute_process(COMMAND ${PROGRAM} ${arguments} OUTPUT_VARIABLE help RESULT_VARIABLE status
                  ENCODING UTF-8)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${PROGRAM} ${arguments}: exit status ${status}")
  endif()
  troff_lines("${help}" text)
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

string(REPLACE "," ";" COMMANDS "${COMMANDS}")
string(TOUPPER "${PAGE}" title)
help_of("--help" description)
set(page "'\\\" -*- coding: UTF-8 -*-\n")
string(APPEND page ".TH ${title} 1 \"\" \"${PAGE} ${VERSION}\" \"QuorvinStudio\"\n")
string(APPEND page ".SH BEZEICHNUNG\n${PAGE} \\- ${SUMMARY}\n")
string(APPEND page ".SH BESCHREIBUNG\n.nf\n${description}.fi\n")
if(COMMANDS)
  string(APPEND page ".SH BEFEHLE\n")
  foreach(command IN LISTS COMMANDS)
    help_of("${command};--help" help)
    string(APPEND page ".SS ${command}\n.nf\n${help}.fi\n")
  endforeach()
endif()
if(SEE_ALSO)
  string(APPEND page ".SH SIEHE AUCH\n${SEE_ALSO}\n")
endif()
file(WRITE "${OUTPUT}" "${page}")
