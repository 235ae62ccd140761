# The Windows build of the simulated host: Quor.exe, the script runner, linked from the same
# objects as quorsim, with its own version resource (6.0.2.0) and the host's functions exported
# by name as dll_link/Quor.def lists them; and the libraries that carry the version resources of
# the other host versions (hostversions\Quor_<major>.<minor>.<third>.dll, Quor_none.dll), which
# the host's module handle names when a script or test asks for another version.
# Everything goes into the Wine stage's folders, with the module and the driver beside it.

# Kept in the cache: the test programs that are hosts (tests/e2e) use them from other folders.
# dll_link/Quor.def describes the exports as the module's import library sees them ("LIBRARY
# Quor.exe"); linked into a program, LIBRARY would make the linker mark it a DLL, so the
# program gets a copy that names itself with NAME instead.
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/dll_link/Quor.def)
file(READ ${CMAKE_SOURCE_DIR}/dll_link/Quor.def quor_def)
string(REGEX REPLACE "\nLIBRARY +Quor\.exe" "\nNAME Quor.exe" quor_def "${quor_def}")
file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/Quor_program.def.new "${quor_def}")
configure_file(${CMAKE_CURRENT_BINARY_DIR}/Quor_program.def.new ${CMAKE_CURRENT_BINARY_DIR}/Quor_program.def COPYONLY)
set(QUOR_DEF ${CMAKE_CURRENT_BINARY_DIR}/Quor_program.def CACHE INTERNAL "the host's exports, for the program")
set(QUOR_EXE_VERSION_COFF ${CMAKE_CURRENT_BINARY_DIR}/Quor_exe_version.o CACHE INTERNAL "Quor.exe's version resource")
set(QUOR_VERSION_LIBRARY_DIR ${CMAKE_CURRENT_BINARY_DIR}/hostversions CACHE INTERNAL "the version libraries")
win32sim_version_resource(OUTPUT ${QUOR_EXE_VERSION_COFF} FORMAT coff MAJOR 6 MINOR 0 THIRD 2)
add_custom_target(quor_exe_version DEPENDS ${QUOR_EXE_VERSION_COFF})
target_compile_definitions(quorsim_host PRIVATE QUOR_EXE_VERSION=602)

# quor_host_program(target folder sources...): an executable named Quor.exe in the Wine folder,
# exporting the host's functions, carrying version 6.0.2.0, with the shipped (stripped) Ombrel.dll,
# SENNTCAM.dll and the version libraries beside it.
function(quor_host_program target folder)
  if(NOT TARGET ${target})
    add_executable(${target} ${ARGN})
  endif()
  target_sources(${target} PRIVATE ${QUOR_EXE_VERSION_COFF})
  set_source_files_properties(${QUOR_EXE_VERSION_COFF} PROPERTIES EXTERNAL_OBJECT TRUE GENERATED TRUE)
  add_dependencies(${target} quor_exe_version quor_version_libraries ombrel_release senntcam)
  set_target_properties(${target} PROPERTIES OUTPUT_NAME Quor LINK_DEPENDS ${QUOR_DEF})
  ombrel_wine_program(${target} ${folder})
  # The .def makes the exports; the cdecl names keep no decoration.
  target_link_options(${target} PRIVATE ${QUOR_DEF} -Wl,--enable-stdcall-fixup)
  ombrel_wine_copy(${target} ${folder} ${OMBREL_RELEASE_DLL} $<TARGET_FILE:senntcam>)
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${CMAKE_COMMAND} -E copy_directory ${QUOR_VERSION_LIBRARY_DIR} ${OMBREL_WINE_DIR}/${folder}/hostversions
    VERBATIM)
endfunction()

# The version libraries: resource-only DLLs (no entry point, no code).
set(quor_version_libraries)
foreach(version 2.0.0 2.5.0 2.9.9 3.0.0 3.0.1 3.1.2 3.1.3 3.9.9 4.0.0 4.9.9 5.0.0 6.0.2 6.2.1 6.10.0 none)
  set(library ${QUOR_VERSION_LIBRARY_DIR}/Quor_${version}.dll)
  if(version STREQUAL "none")
    set(object ${CMAKE_CURRENT_BINARY_DIR}/Quor_none.o)
    add_custom_command(OUTPUT ${object}
      COMMAND ${WIN32SIM_WINDRES} -O coff -i ${CMAKE_SOURCE_DIR}/sim/platform/host_noversion.rc -o ${object}
      DEPENDS ${CMAKE_SOURCE_DIR}/sim/platform/host_noversion.rc)
  else()
    string(REPLACE "." ";" parts ${version})
    list(GET parts 0 major)
    list(GET parts 1 minor)
    list(GET parts 2 third)
    set(object ${CMAKE_CURRENT_BINARY_DIR}/Quor_${version}.o)
    win32sim_version_resource(OUTPUT ${object} FORMAT coff MAJOR ${major} MINOR ${minor} THIRD ${third})
  endif()
  add_custom_command(OUTPUT ${library}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${QUOR_VERSION_LIBRARY_DIR}
    COMMAND ${CMAKE_C_COMPILER} -shared -nostdlib -s -Wl,-e,0 -o ${library} ${object}
    DEPENDS ${object}
    COMMENT "Linking the version library Quor_${version}.dll")
  list(APPEND quor_version_libraries ${library})
endforeach()
add_custom_target(quor_version_libraries DEPENDS ${quor_version_libraries})

# Quor.exe, the script runner, with the demo scripts beside it.
add_executable(quor_exe main.cpp)
target_link_libraries(quor_exe PRIVATE quorsim_host quorsim_script win32sim)
quor_host_program(quor_exe quor)
ombrel_wine_copy(quor_exe quor ${CMAKE_SOURCE_DIR}/examples/camera_demo.qsc ${CMAKE_SOURCE_DIR}/examples/camera_faults.qsc)

# What the Wine stage compares with quorsim on Linux: the demo, and one session through all
# eight functions at the host versions the gates tell apart (none, 2.5.0, 4.9.9, 6.0.2), with
# the record starting at 60 and at 200 bytes, and with scramble mode on.
ombrel_wine_copy(quor_exe quor ${CMAKE_SOURCE_DIR}/tests/wine/session.qsc)
ombrel_add_wine_test(NAME demo FOLDER quor KIND compare COMMAND Quor.exe --out @OUT@ camera_demo.qsc)
# The camera's faults armed from the script, and the module's answers to them.
ombrel_add_wine_test(NAME faults FOLDER quor KIND compare COMMAND Quor.exe --keep-going --out @OUT@ camera_faults.qsc)
ombrel_add_wine_test(NAME session_602 FOLDER quor KIND compare
  COMMAND Quor.exe --keep-going --out @OUT@ session.qsc)
ombrel_add_wine_test(NAME session_602_record60_scramble FOLDER quor KIND compare
  COMMAND Quor.exe --keep-going --record-size 60 --scramble --out @OUT@ session.qsc)
ombrel_add_wine_test(NAME session_499 FOLDER quor KIND compare
  COMMAND Quor.exe --keep-going --version 499 --out @OUT@ session.qsc)
ombrel_add_wine_test(NAME session_250_scramble FOLDER quor KIND compare
  COMMAND Quor.exe --keep-going --version 250 --scramble --out @OUT@ session.qsc)
ombrel_add_wine_test(NAME session_noversion FOLDER quor KIND compare
  COMMAND Quor.exe --keep-going --version 0 --out @OUT@ session.qsc)

if(OMBREL_TESTS)
  # The DLL's imports from Quor.exe resolve against the Quor.exe built here (checked with
  # objdump on the build machine, before anything runs under Wine).
  find_program(QUOR_OBJDUMP NAMES i686-w64-mingw32-objdump REQUIRED)
  add_test(NAME win32_imports_resolve_against_quor_exe
    COMMAND python3 ${CMAKE_SOURCE_DIR}/tools/check_imports_resolve.py ${QUOR_OBJDUMP}
            ${OMBREL_RELEASE_DLL} $<TARGET_FILE:quor_exe>)
endif()
