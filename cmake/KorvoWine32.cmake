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
  get_property(_warned GLOBAL PROPERTY KORVO_WINE32_WARNED)
  if(NOT _warned)
    message(WARNING "Wine's 32-bit loader (package wine32:i386) ${_why}: the tests that run the 32-bit "
                    "Windows build (win32.*, the LMMS tests) are registered but disabled. "
                    "scripts/install-deps.sh installs it where the mirror serves the i386 packages.")
    set_property(GLOBAL PROPERTY KORVO_WINE32_WARNED TRUE)
  endif()
  set(${out} TRUE PARENT_SCOPE)
endfunction()
