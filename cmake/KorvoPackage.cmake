# The release package of this build, one target each:
#   package-win32         Korvo-<version>-win32.zip         (win32 preset)
#   package-win64         Korvo-<version>-win64.zip         (win64 preset)
#   package-linux-x86_64  Korvo-<version>-linux-x86_64.tar.gz (release preset)
# The Windows packages hold the setup program with the five files it copies beside it, and
# Korvo.clap (the setup program offers it for the CLAP folder beside the VST 2 one) and the
# standalone Korvo.exe (the setup program puts it beside the VST 2 plug-in; it runs from anywhere). The
# Linux package is laid out as an installation (the plug-in, Korvo.clap, the standalone korvo, their
# product folder Korvo/) with korvinst beside them, which finds the data files in their places below Korvo/, and
# the LV2 bundle Korvo.lv2/ with a product folder of its own inside.
# Cross builds take wavrom.bin, factory.kvl and Korvo_backup.dat from KORVO_NATIVE_DATA_DIR.

if(CMAKE_CROSSCOMPILING)
  set(_pkg_data "${KORVO_NATIVE_DATA_DIR}")
else()
  set(_pkg_data "${CMAKE_BINARY_DIR}/data")
endif()
set(_pkg_readme "${CMAKE_SOURCE_DIR}/data/readme.txt")

if(WIN32)
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(_pkg_arch win64)
  else()
    set(_pkg_arch win32)
  endif()
  set(_pkg_format zip)
  set(_pkg_suffix zip)
  set(_pkg_entries
    "$<TARGET_FILE:korvinst>|."
    "$<TARGET_FILE:Korvo>|."
    "$<TARGET_FILE:Korvo_clap>|."
    "$<TARGET_FILE:korvo>|."
    "${_pkg_data}/wavrom.bin|."
    "${_pkg_data}/Korvo_backup.dat|."
    "${_pkg_data}/factory.kvl|."
    "${_pkg_readme}|.")
else()
  set(_pkg_arch linux-${CMAKE_SYSTEM_PROCESSOR})
  set(_pkg_format gnutar)
  set(_pkg_suffix tar.gz)
  set(_pkg_entries
    "$<TARGET_FILE:korvinst>|."
    "$<TARGET_FILE:Korvo>|."
    "$<TARGET_FILE:Korvo_clap>|."
    "$<TARGET_FILE:korvo>|."
    "${_pkg_readme}|Korvo"
    "${_pkg_data}/wavrom.bin|Korvo/data"
    "${_pkg_data}/Korvo_backup.dat|Korvo/data"
    "${_pkg_data}/factory.kvl|Korvo/user")
  if(TARGET Korvo_lv2)
    # The LV2 bundle, whole: copied as it is into ~/.lv2 (or installed by cmake --install).
    list(APPEND _pkg_entries
      "$<TARGET_FILE:Korvo_lv2>|Korvo.lv2"
      "${KORVO_LV2_BUNDLE}/manifest.ttl|Korvo.lv2"
      "${KORVO_LV2_BUNDLE}/korvo.ttl|Korvo.lv2"
      "${KORVO_LV2_BUNDLE}/presets.ttl|Korvo.lv2"
      "${_pkg_readme}|Korvo.lv2/Korvo"
      "${_pkg_data}/wavrom.bin|Korvo.lv2/Korvo/data"
      "${_pkg_data}/Korvo_backup.dat|Korvo.lv2/Korvo/data"
      "${_pkg_data}/factory.kvl|Korvo.lv2/Korvo/user")
  endif()
endif()

# The manual (docs/manual): beside the read-me in the product folder; in the Windows packages
# beside the setup program. A cross build carries a native build's copy when there is one.
set(_pkg_manual_folder Korvo/manual)
if(WIN32)
  set(_pkg_manual_folder manual)
endif()
if(TARGET korvo_manual OR (CMAKE_CROSSCOMPILING AND EXISTS "${KORVO_MANUAL_DIR}/manual.html"))
  list(APPEND _pkg_entries "${KORVO_MANUAL_DIR}/manual.html|${_pkg_manual_folder}"
                           "${KORVO_MANUAL_DIR}/pictures|${_pkg_manual_folder}")
  if(TARGET Korvo_lv2)
    list(APPEND _pkg_entries "${KORVO_MANUAL_DIR}/manual.html|Korvo.lv2/Korvo/manual"
                             "${KORVO_MANUAL_DIR}/pictures|Korvo.lv2/Korvo/manual")
  endif()
else()
  message(STATUS "package: without the manual (no pandoc, or no native build's manual in ${KORVO_MANUAL_DIR})")
endif()

set(KORVO_PACKAGE_NAME "Korvo-${PROJECT_VERSION}-${_pkg_arch}")
set(KORVO_PACKAGE_FILE "${CMAKE_BINARY_DIR}/${KORVO_PACKAGE_NAME}.${_pkg_suffix}")
string(REPLACE ";" "\n" _pkg_manifest "${_pkg_entries}")
file(GENERATE OUTPUT "${CMAKE_BINARY_DIR}/package/${KORVO_PACKAGE_NAME}.files" CONTENT "${_pkg_manifest}\n")

set(_pkg_deps korvinst Korvo Korvo_clap korvo)
if(TARGET korvo_lv2_bundle)
  list(APPEND _pkg_deps korvo_lv2_bundle)
endif()
if(TARGET korvo_manual)
  list(APPEND _pkg_deps korvo_manual)
endif()
if(NOT CMAKE_CROSSCOMPILING)
  list(APPEND _pkg_deps korvo_factory_data korvo_wavrom)
endif()
add_custom_target(package-${_pkg_arch}
  COMMAND ${CMAKE_COMMAND} -DMANIFEST=${CMAKE_BINARY_DIR}/package/${KORVO_PACKAGE_NAME}.files
          -DSTAGE=${CMAKE_BINARY_DIR}/package/${KORVO_PACKAGE_NAME} -DARCHIVE=${KORVO_PACKAGE_FILE}
          -DFORMAT=${_pkg_format} -P ${CMAKE_SOURCE_DIR}/cmake/packageStage.cmake
  DEPENDS ${_pkg_deps}
  BYPRODUCTS ${KORVO_PACKAGE_FILE}
  COMMENT "Packing ${KORVO_PACKAGE_NAME}.${_pkg_suffix}"
  VERBATIM)
