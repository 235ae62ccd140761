# The module's own sources, the same in every build. Kept in one list so the shared library,
# the DLL and the unit tests can never drift apart.
set(OMBREL_MODULE_SOURCES
  shell/entry.cpp
  hostlink/transport.cpp
  hostlink/host_version.cpp
  hostlink/host_exports.cpp
  hostdata/handles.cpp
  hostdata/waves.cpp
  camera/board.cpp
  camera/grab.cpp
  camera/picture.cpp
  hostdata/wave_values.cpp
  support/utilities.cpp
  support/conversion.cpp
  support/naming.cpp
  support/dialogs.cpp
  support/command_text.cpp
  camera/window8.cpp
)
list(TRANSFORM OMBREL_MODULE_SOURCES PREPEND ${CMAKE_SOURCE_DIR}/)

add_library(ombrel_module OBJECT ${OMBREL_MODULE_SOURCES})
# On Linux the few Win32 calls the module makes are declared in hostlink/win32_subset.h, which
# the platform stand-in implements.
target_include_directories(ombrel_module PUBLIC ${CMAKE_SOURCE_DIR})
# Only main leaves the shared library; the module's own symbols stay inside it.
set_target_properties(ombrel_module PROPERTIES CXX_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON)
