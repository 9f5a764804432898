# The COM test libraries, built from com_test_library.cpp with the mingw cross
# compilers on any host (the native tests read them as image files, the Windows
# tests register them with the real regsvr32.exe):
#   zel_com64.dll       x86-64, DllRegisterServer / DllUnregisterServer
#   zel_noexport64.dll  x86-64, exports only ZelTestVersion
#   zel_com32.dll       i686, DllRegisterServer / DllUnregisterServer
#   zel_comfail32.dll   i686, DllRegisterServer fails
#   zel_comhang64.dll   x86-64, DllRegisterServer never returns
# Include this file, then add_dependencies(<tests> zel_com_test_libraries) and
# read ZEL_COMDLL_DIR (empty when a cross compiler is missing).
include_guard(GLOBAL)

find_program(ZEL_MINGW64_CXX x86_64-w64-mingw32-g++-posix)
find_program(ZEL_MINGW32_CXX i686-w64-mingw32-g++-posix)

set(_zel_comdll_src ${CMAKE_CURRENT_LIST_DIR}/com_test_library.cpp)
set(_zel_comdll_dir ${CMAKE_BINARY_DIR}/tests/comdll)
set(_zel_comdll_outputs "")

function(_zel_com_test_library name compiler)
  add_custom_command(
    OUTPUT ${_zel_comdll_dir}/${name}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${_zel_comdll_dir}
    COMMAND ${compiler} -O2 -Wall -shared -static -static-libgcc -static-libstdc++ -s -Wl,--kill-at ${ARGN}
            -o ${_zel_comdll_dir}/${name} ${_zel_comdll_src} -ladvapi32
    DEPENDS ${_zel_comdll_src}
    COMMENT "Building test library ${name}"
    VERBATIM)
  set(_zel_comdll_outputs ${_zel_comdll_outputs} ${_zel_comdll_dir}/${name} PARENT_SCOPE)
endfunction()

if(ZEL_MINGW64_CXX AND ZEL_MINGW32_CXX)
  _zel_com_test_library(zel_com64.dll ${ZEL_MINGW64_CXX})
  _zel_com_test_library(zel_noexport64.dll ${ZEL_MINGW64_CXX} -DZEL_NO_REGISTRATION)
  _zel_com_test_library(zel_com32.dll ${ZEL_MINGW32_CXX})
  _zel_com_test_library(zel_comfail32.dll ${ZEL_MINGW32_CXX} -DZEL_FAIL_REGISTRATION)
  _zel_com_test_library(zel_comhang64.dll ${ZEL_MINGW64_CXX} -DZEL_HANG_REGISTRATION)
  add_custom_target(zel_com_test_libraries DEPENDS ${_zel_comdll_outputs})
  set(ZEL_COMDLL_DIR ${_zel_comdll_dir})
else()
  message(WARNING "mingw-w64 cross compilers not found: the COM test libraries are not built")
  add_custom_target(zel_com_test_libraries)
  set(ZEL_COMDLL_DIR "")
endif()
