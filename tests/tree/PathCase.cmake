# Fails when two paths of the source tree differ only in the case of their
# letters. Such a pair cannot be checked out on a file system that ignores
# case: one file silently takes the other's place.
#
#   cmake -DSOURCE_DIR=<tree> -P PathCase.cmake
#
# In a git checkout the tracked files are what counts; otherwise the tree is
# walked, leaving out build folders and version-control data.
if(NOT SOURCE_DIR)
  message(FATAL_ERROR "SOURCE_DIR is not set")
endif()

set(paths "")
find_program(GIT_EXECUTABLE git)
if(GIT_EXECUTABLE)
  execute_process(COMMAND ${GIT_EXECUTABLE} -C ${SOURCE_DIR} rev-parse --show-toplevel
                  RESULT_VARIABLE not_git OUTPUT_QUIET ERROR_QUIET)
  if(NOT not_git)
    # One name a line, unquoted, from the top of the checkout.
    execute_process(COMMAND ${GIT_EXECUTABLE} -c core.quotepath=off -C ${SOURCE_DIR} ls-files --full-name
                    OUTPUT_VARIABLE listing RESULT_VARIABLE failed)
    if(failed)
      message(FATAL_ERROR "git ls-files failed in ${SOURCE_DIR}")
    endif()
    string(REPLACE ";" "\\;" listing "${listing}")
    string(REPLACE "\n" ";" paths "${listing}")
  endif()
endif()
if(NOT paths)
  file(GLOB_RECURSE paths LIST_DIRECTORIES true RELATIVE ${SOURCE_DIR} ${SOURCE_DIR}/*)
  list(FILTER paths EXCLUDE REGEX "(^|/)(\\.git|build[^/]*)(/|$)")
endif()

# Folders clash as well as files: add every leading folder of every path.
set(all "")
foreach(path IN LISTS paths)
  if(path STREQUAL "")
    continue()
  endif()
  list(APPEND all "${path}")
  string(FIND "${path}" "/" slash REVERSE)
  while(slash GREATER 0)
    string(SUBSTRING "${path}" 0 ${slash} path)
    list(APPEND all "${path}")
    string(FIND "${path}" "/" slash REVERSE)
  endwhile()
endforeach()
list(REMOVE_DUPLICATES all)

set(clashes "")
foreach(path IN LISTS all)
  string(TOLOWER "${path}" key)
  string(MD5 id "${key}")
  if(DEFINED seen_${id})
    list(APPEND clashes "${seen_${id}} <-> ${path}")
  else()
    set(seen_${id} "${path}")
  endif()
endforeach()

list(LENGTH all count)
if(clashes)
  list(JOIN clashes "\n  " text)
  message(FATAL_ERROR "Paths that differ only by case:\n  ${text}")
endif()
message(STATUS "${count} paths, none differing from another only by case")
