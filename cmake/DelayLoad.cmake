# DLLs the installer must not import at start-up.
#
# The installer runs elevated from a folder anyone can write to (Downloads). For a
# statically imported DLL that is not one of Windows' known DLLs, the loader looks
# in the program's folder first, before wWinMain can restrict the search: a DLL
# planted there would run as administrator. So static imports are only known DLLs
# (the allow-list and its source are in tools/check-imports), and every other DLL
# comes through a delay-load import library built here: it is loaded on first call,
# after wWinMain has restricted the search to System32, through the installer's
# delay-load hook (src/Window/SystemDllSearch.cpp).
#
# Link delay::<name> instead of <name> for each of these.
set(VANTELO_DELAY_LOADED comctl32 gdiplus version winhttp wininet crypt32 wintrust bcrypt oleacc)

foreach(dll ${VANTELO_DELAY_LOADED})
  set(library ${CMAKE_BINARY_DIR}/delayload/lib${dll}_delay.a)
  if(NOT EXISTS ${library})
    execute_process(
      COMMAND ${VANTELO_PYTHON} ${CMAKE_SOURCE_DIR}/tools/make-delay-lib.py --triple ${VANTELO_TRIPLE}
              --dll ${dll} --output ${library}
      RESULT_VARIABLE result)
    if(NOT result EQUAL 0)
      message(FATAL_ERROR "cannot make the delay-load library of ${dll}.dll")
    endif()
  endif()
  add_library(delay::${dll} STATIC IMPORTED GLOBAL)
  set_target_properties(delay::${dll} PROPERTIES IMPORTED_LOCATION ${library})
endforeach()
