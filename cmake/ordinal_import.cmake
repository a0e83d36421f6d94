include_guard(GLOBAL)
# tavrin_ordinal_import(NAME DLL_TARGET DEF_FILE): an INTERFACE target NAME that brings the
# project's include root, an import library made by dlltool from DEF_FILE (so importers bind
# the DLL's exports by ordinal and no name) and, so the DLL sits beside whatever uses it, a
# build of DLL_TARGET. dlltool runs in the output folder: it names its symbols after -l.
find_program(DLLTOOL NAMES ${TOOLCHAIN_PREFIX}-dlltool dlltool REQUIRED)

# tavrin_def_file(OUT IN): IN with @STDCALL_8@ replaced by this arch's decoration of a
# stdcall function taking 8 bytes of arguments.
function(tavrin_def_file out in)
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(STDCALL_8 "")
  else()
    set(STDCALL_8 "@8")
  endif()
  get_filename_component(name ${in} NAME_WLE)
  set(path ${CMAKE_CURRENT_BINARY_DIR}/${name})
  configure_file(${in} ${path} @ONLY)
  set(${out} ${path} PARENT_SCOPE)
endfunction()

function(tavrin_ordinal_import name dll_target def_file)
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(machine i386:x86-64)
  else()
    set(machine i386)
  endif()
  set(lib ${CMAKE_ARCHIVE_OUTPUT_DIRECTORY}/lib${name}.a)
  file(MAKE_DIRECTORY ${CMAKE_ARCHIVE_OUTPUT_DIRECTORY})
  add_custom_command(
    OUTPUT ${lib}
    COMMAND ${DLLTOOL} -m ${machine} -d ${def_file} -l lib${name}.a
    WORKING_DIRECTORY ${CMAKE_ARCHIVE_OUTPUT_DIRECTORY}
    DEPENDS ${def_file}
    COMMENT "Making the import library of ${dll_target}.dll")
  add_custom_target(${name}_lib DEPENDS ${lib})
  add_library(${name} INTERFACE)
  target_include_directories(${name} INTERFACE ${CMAKE_SOURCE_DIR})
  target_link_libraries(${name} INTERFACE ${lib})
  add_dependencies(${name} ${name}_lib ${dll_target})
endfunction()
