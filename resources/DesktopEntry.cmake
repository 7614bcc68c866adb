# Writes the program's desktop entry from brisquel.desktop.in, with Exec
# naming the executable by its absolute path. Used at configure time for the
# copy in the build folder, and at install time, when the final prefix is
# known (cmake --install --prefix may change it).
#
# Also runs as a script:
#   cmake -DTEMPLATE=<in> -DOUTPUT=<out> -DEXECUTABLE=<path> -P DesktopEntry.cmake

# The Exec value of the desktop entry format: an argument holding a reserved
# character is quoted, and inside the quotes " ` $ \ take a backslash; a
# literal % is written %%; then the value as a whole escapes its backslashes
# once more.
function(brisquel_desktop_exec path out)
  string(REPLACE "%" "%%" value "${path}")
  if(value MATCHES "[ \t\n\"'\\\\><~|&;$*?#()`]")
    string(REPLACE "\\" "\\\\" value "${value}")
    string(REPLACE "\"" "\\\"" value "${value}")
    string(REPLACE "`" "\\`" value "${value}")
    string(REPLACE "$" "\\$" value "${value}")
    set(value "\"${value}\"")
    string(REPLACE "\\" "\\\\" value "${value}")
    string(REPLACE "\n" "\\n" value "${value}")
    string(REPLACE "\t" "\\t" value "${value}")
  endif()
  set(${out} "${value}" PARENT_SCOPE)
endfunction()

function(brisquel_write_desktop_entry template output executable)
  cmake_path(ABSOLUTE_PATH executable NORMALIZE)
  brisquel_desktop_exec("${executable}" BRISQUEL_DESKTOP_EXEC)
  configure_file("${template}" "${output}" @ONLY)
endfunction()

if(CMAKE_SCRIPT_MODE_FILE STREQUAL CMAKE_CURRENT_LIST_FILE)
  brisquel_write_desktop_entry("${TEMPLATE}" "${OUTPUT}" "${EXECUTABLE}")
endif()
