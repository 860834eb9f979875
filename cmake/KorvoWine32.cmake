# The reasons the 32-bit tests were left out of this tree, one line each, are kept in
# <build>/32bit-tests-not-run.txt for the closing lines of scripts/test.sh (no file: they all run).
set(KORVO_32BIT_NOT_RUN_FILE ${CMAKE_BINARY_DIR}/32bit-tests-not-run.txt)
function(korvo_32bit_not_run reason)
  set_property(GLOBAL APPEND PROPERTY KORVO_32BIT_NOT_RUN "${reason}")
endfunction()
function(_korvo_write_32bit_not_run)
  get_property(_reasons GLOBAL PROPERTY KORVO_32BIT_NOT_RUN)
  if(_reasons)
    list(REMOVE_DUPLICATES _reasons)
    list(JOIN _reasons "\n" _text)
    file(WRITE ${KORVO_32BIT_NOT_RUN_FILE} "${_text}\n")
  else()
    file(REMOVE ${KORVO_32BIT_NOT_RUN_FILE})
  endif()
endfunction()
cmake_language(DEFER CALL _korvo_write_32bit_not_run)

# Whether the 32-bit side that the win32 and LMMS tests run on is missing: Wine's 32-bit loader
# (package wine32:i386), installed and able to run (a kernel without 32-bit support refuses it).
# Looked up afresh at every configure, so installing it later and configuring again brings the
# tests back. Sets <out> to TRUE or FALSE and warns once when missing.
function(korvo_wine32_missing out)
  find_program(_korvo_wine32_loader NAMES wine PATHS /usr/lib/wine NO_DEFAULT_PATH NO_CACHE)
  set(_why "is not installed")
  if(_korvo_wine32_loader)
    execute_process(COMMAND ${_korvo_wine32_loader} --version RESULT_VARIABLE _rc OUTPUT_QUIET ERROR_QUIET)
    if(_rc EQUAL 0)
      set(${out} FALSE PARENT_SCOPE)
      return()
    endif()
    set(_why "cannot run on this machine (no 32-bit support in its kernel?)")
  endif()
  korvo_32bit_not_run("Wine's 32-bit loader (package wine32:i386) ${_why}")
  get_property(_warned GLOBAL PROPERTY KORVO_WINE32_WARNED)
  if(NOT _warned)
    message(WARNING "Wine's 32-bit loader (package wine32:i386) ${_why}: the tests that run the 32-bit "
                    "Windows build (win32.*, the LMMS tests) are registered but disabled. "
                    "scripts/install-deps.sh installs it where the mirror serves the i386 packages "
                    "(with --allow-i386-downgrades or CI=true also where their security index lags).")
    set_property(GLOBAL PROPERTY KORVO_WINE32_WARNED TRUE)
  endif()
  set(${out} TRUE PARENT_SCOPE)
endfunction()
