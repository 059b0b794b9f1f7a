# Includes point down: the folders at the bottom of src never include from the folders above
# them. Run as cmake -DSRC=<the src folder> -P includes_point_down.cmake; fails with the list of
# includes that point up.
#
# For each lower folder, the folders it must not include from. An include is followed to the
# file it names (beside the including file first, then under src), so a relative path cannot
# hide where it leads.
cmake_minimum_required(VERSION 3.22)

set(subsystems app bar pages launch gauge progman appearance prefs)
set(lower_folders commandline platform settings components)
set(above_commandline ${subsystems} settings components platform)
set(above_platform ${subsystems})
set(above_settings ${subsystems})
set(above_components ${subsystems})

if(NOT IS_DIRECTORY "${SRC}")
  message(FATAL_ERROR "no source folder: pass -DSRC=<the src folder>")
endif()
get_filename_component(SRC "${SRC}" REALPATH)

# The top folder under src that a header named by an include lives in; empty for a header from
# outside src (Qt, GLib, the system).
function(included_folder including name out)
  get_filename_component(here "${including}" DIRECTORY)
  set(folder "")
  foreach(base "${here}" "${SRC}")
    if(EXISTS "${base}/${name}")
      get_filename_component(target "${base}/${name}" REALPATH)
      file(RELATIVE_PATH relative "${SRC}" "${target}")
      if(NOT relative MATCHES "^\\.\\./")
        string(REGEX REPLACE "/.*" "" folder "${relative}")
      endif()
      break()
    endif()
  endforeach()
  set(${out} "${folder}" PARENT_SCOPE)
endfunction()

set(upward "")
set(checked 0)
foreach(lower IN LISTS lower_folders)
  set(above ${above_${lower}})
  file(GLOB_RECURSE files "${SRC}/${lower}/*.h" "${SRC}/${lower}/*.cpp")
  foreach(file IN LISTS files)
    math(EXPR checked "${checked} + 1")
    file(STRINGS "${file}" lines REGEX "^[ \t]*#[ \t]*include[ \t]*[<\"]")
    foreach(line IN LISTS lines)
      string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*[<\"]([^>\"]+)[>\"].*" "\\1" name "${line}")
      included_folder("${file}" "${name}" folder)
      if(folder AND folder IN_LIST above)
        file(RELATIVE_PATH shown "${SRC}" "${file}")
        list(APPEND upward "src/${shown} includes ${name} (${folder} is above ${lower})")
      endif()
    endforeach()
  endforeach()
endforeach()

if(checked EQUAL 0)
  message(FATAL_ERROR "no source files found under ${SRC}")
endif()
if(upward)
  list(JOIN upward "\n  " listed)
  message(FATAL_ERROR "includes that point up:\n  ${listed}")
endif()
message(STATUS "${checked} files checked: every include points down")
