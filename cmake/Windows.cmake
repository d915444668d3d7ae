# The Windows build (mingw-w64, cmake/mingw-w64-*.cmake): the SDK's COM instead of the compatibility layer,
# the runtime linked in, and the in-process server's exports, version resource and type library.

set(TESSEL_COM_SYSTEM common/com/sdk)
# Each module carries its own copy; the system's libraries are what the processes share.
set(TESSEL_PLATFORM_LIBRARY_TYPE STATIC)

enable_language(RC)
add_compile_definitions(WIN32_LEAN_AND_MEAN NOMINMAX UNICODE _UNICODE _WIN32_WINNT=0x0601 WINVER=0x0601)
# localtime_r and the other thread-safe forms that the C runtime offers under their POSIX names.
add_compile_definitions(_POSIX_THREAD_SAFE_FUNCTIONS)
# GCC 12 at -O2 warns of overlapping copies inside libstdc++'s own string concatenation (its bug 105329), a
# false alarm on every "text" + std::string.
add_compile_options(-Wno-restrict)
# Nothing but system libraries beside the server and the programs: the C++ runtime and winpthread go in.
add_link_options(-static -static-libgcc -static-libstdc++)
# The system libraries behind the SDK's COM and the version resource reader.
set(TESSEL_WINDOWS_SYSTEM_LIBS ole32 oleaut32 uuid version winmm)

# The type library: driver/automation/TesselDrv.idl expanded from the member lists by the preprocessor, its
# text turned into Windows-1251 (type libraries hold 8-bit text, read in the system's ANSI code page) and
# compiled by widl against the system's stdole2.tlb, which Wine provides on this machine.
if(NOT TESSEL_WIDL)
  message(FATAL_ERROR "widl is missing: install mingw-w64-tools")
endif()
find_program(TESSEL_ICONV iconv REQUIRED)
find_path(TESSEL_STDOLE2_DIR stdole2.tlb NO_CMAKE_FIND_ROOT_PATH
  PATHS /usr/lib/x86_64-linux-gnu/wine/x86_64-windows /usr/lib/i386-linux-gnu/wine/i386-windows
        /usr/lib/wine/x86_64-windows /usr/lib/wine/i386-windows /usr/lib64/wine/x86_64-windows)
if(NOT TESSEL_STDOLE2_DIR)
  message(FATAL_ERROR "stdole2.tlb, the system's automation type library that widl imports, is missing: install wine64")
endif()

# Makes `target` the in-process server: the four exports by name, the version resource and the type library
# embedded as resource TYPELIB 1, no "lib" prefix (TesselDrv.dll).
function(tessel_windows_server target)
  set(dir ${CMAKE_CURRENT_BINARY_DIR}/typelib)
  set(TESSEL_TLB_FILE ${dir}/TesselDrv.tlb)
  set(idl ${CMAKE_SOURCE_DIR}/driver/automation/TesselDrv.idl)
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(arch --win64)
  else()
    set(arch --win32)
    # The exports keep their plain names; the 32-bit functions are __stdcall (DllGetClassObject@12), which the
    # linker pairs with the .def's names.
    target_link_options(${target} PRIVATE -Wl,--enable-stdcall-fixup)
  endif()
  add_custom_command(OUTPUT ${TESSEL_TLB_FILE}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${dir}
    COMMAND ${CMAKE_CXX_COMPILER} -E -P -x c -I${CMAKE_SOURCE_DIR}/driver/base ${idl} -o ${dir}/TesselDrv.utf8.idl
    COMMAND ${TESSEL_ICONV} -f UTF-8 -t CP1251 -o ${dir}/TesselDrv.idl ${dir}/TesselDrv.utf8.idl
    COMMAND ${TESSEL_WIDL} -N -t ${arch} -L ${TESSEL_STDOLE2_DIR} -o ${TESSEL_TLB_FILE} ${dir}/TesselDrv.idl
    DEPENDS ${idl} ${CMAKE_SOURCE_DIR}/driver/base/TesselDrvMembers.h
    COMMENT "Type library TesselDrv.tlb"
    VERBATIM)
  configure_file(${CMAKE_SOURCE_DIR}/driver/automation/TesselDrv.rc.in ${dir}/TesselDrv.rc @ONLY)
  set_source_files_properties(${dir}/TesselDrv.rc PROPERTIES OBJECT_DEPENDS ${TESSEL_TLB_FILE})
  target_sources(${target} PRIVATE ${dir}/TesselDrv.rc ${CMAKE_SOURCE_DIR}/driver/automation/TesselDrv.def)
  set_target_properties(${target} PROPERTIES PREFIX "")
endfunction()
