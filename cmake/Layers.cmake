# Which way the includes go, kept by the compiler. A layer's library compiles against an include
# root of its own in the build tree that holds links to the source folders it may include and to
# no other, so "toolkit/Form.h" is found from every layer while "ui/QForm.h" is not found from
# outlook/. The root is a usage requirement: whoever links the library sees the same folders.
# core/, the program, the tests and the benchmarks see the whole source tree.

# Makes <link> a link to the folder <folder>.
function(hv_link_folder folder link)
  if(IS_DIRECTORY ${link})
    return()  # made by an earlier configure
  endif()
  file(REMOVE ${link})  # a link left dangling by a moved source tree
  file(CREATE_LINK ${folder} ${link} SYMBOLIC RESULT failed)
  if(NOT failed STREQUAL "0" AND CMAKE_HOST_WIN32)
    # Windows makes symbolic links only with Developer Mode or as an administrator; a directory
    # junction needs neither.
    file(TO_NATIVE_PATH ${link} native_link)
    file(TO_NATIVE_PATH ${folder} native_folder)
    execute_process(COMMAND cmd /c mklink /J ${native_link} ${native_folder} RESULT_VARIABLE failed OUTPUT_QUIET)
  endif()
  if(NOT failed STREQUAL "0")
    message(FATAL_ERROR "cannot link ${link} to ${folder}: ${failed}")
  endif()
endfunction()

# hv_layer_includes(<target> <folder>...): <target> includes headers of these source folders only.
function(hv_layer_includes target)
  set(root ${CMAKE_BINARY_DIR}/include-roots/${target})
  file(MAKE_DIRECTORY ${root})
  # A folder taken off the list loses its link (file(REMOVE) unlinks; it never follows a link).
  file(GLOB links LIST_DIRECTORIES true RELATIVE ${root} ${root}/*)
  foreach(link IN LISTS links)
    if(NOT link IN_LIST ARGN)
      file(REMOVE ${root}/${link})
    endif()
  endforeach()
  foreach(folder IN LISTS ARGN)
    hv_link_folder(${CMAKE_SOURCE_DIR}/${folder} ${root}/${folder})
  endforeach()
  target_include_directories(${target} PUBLIC ${root})
endfunction()
