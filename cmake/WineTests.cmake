# The programs the Wine stage runs in the guest (scripts/test_wine.sh). Everything they need is
# put under ${OMBREL_WINE_DIR} (build/win32/wine), one folder per program group, and listed in
# ${OMBREL_WINE_DIR}/tests.list, one program run a line:
#   NAME<TAB>FOLDER<TAB>KIND<TAB>COMMAND LINE
# KIND is gtest (a GoogleTest program: each of its test cases counts) or program (its exit
# status alone decides). The guest runs each line in FOLDER with wine and brings its output,
# exit status and any files it wrote in FOLDER/out back.
set(OMBREL_WINE_DIR ${CMAKE_BINARY_DIR}/wine CACHE INTERNAL "what the Wine stage hands to the guest")
set_property(GLOBAL PROPERTY OMBREL_WINE_TESTS "")

# ombrel_add_wine_test(NAME name FOLDER folder KIND gtest|program COMMAND exe [args...])
function(ombrel_add_wine_test)
  cmake_parse_arguments(W "" "NAME;FOLDER;KIND" "COMMAND" ${ARGN})
  list(JOIN W_COMMAND " " command)
  set_property(GLOBAL APPEND PROPERTY OMBREL_WINE_TESTS "${W_NAME}\t${W_FOLDER}\t${W_KIND}\t${command}")
endfunction()

# ombrel_wine_program(target folder): the program's executable goes into the folder, linked so
# that it needs no runtime DLLs beside it.
function(ombrel_wine_program target folder)
  set_target_properties(${target} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${OMBREL_WINE_DIR}/${folder})
  target_link_options(${target} PRIVATE -static -static-libgcc -static-libstdc++)
endfunction()

# ombrel_wine_copy(target folder files...): copies built files (generator expressions allowed)
# into the folder after the target is built.
function(ombrel_wine_copy target folder)
  foreach(file ${ARGN})
    add_custom_command(TARGET ${target} POST_BUILD
      COMMAND ${CMAKE_COMMAND} -E make_directory ${OMBREL_WINE_DIR}/${folder}
      COMMAND ${CMAKE_COMMAND} -E copy_if_different ${file} ${OMBREL_WINE_DIR}/${folder}/
      VERBATIM)
  endforeach()
endfunction()

# Called once at the end of the top-level list: writes tests.list.
function(ombrel_write_wine_tests)
  get_property(lines GLOBAL PROPERTY OMBREL_WINE_TESTS)
  list(JOIN lines "\n" content)
  file(WRITE ${OMBREL_WINE_DIR}/tests.list.new "${content}\n")
  configure_file(${OMBREL_WINE_DIR}/tests.list.new ${OMBREL_WINE_DIR}/tests.list COPYONLY)
endfunction()
