# cmake --install into a scratch root, then: the documented layout is there, its data files are
# the built ones, and the installed plug-in finds them beside itself and starts with the factory
# sounds (its edit buffer after loading is program 000 of factory.kvl).
#   -DBUILD_DIR= -DWORK_DIR= -DVST_DIR= (KORVO_VST_INSTALL_DIR) -DVSTHOST= -DPLUGIN_NAME=
file(REMOVE_RECURSE "${WORK_DIR}")
file(MAKE_DIRECTORY "${WORK_DIR}/config")
set(ENV{DESTDIR} "${WORK_DIR}/root")
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix /inst --component plugin
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "cmake --install failed (${rc}):\n${out}${err}")
endif()
unset(ENV{DESTDIR})

if(IS_ABSOLUTE "${VST_DIR}")
  set(vst "${WORK_DIR}/root${VST_DIR}")
else()
  set(vst "${WORK_DIR}/root/inst/${VST_DIR}")
endif()
foreach(pair "Korvo/data/wavrom.bin=data/wavrom.bin" "Korvo/data/Korvo_backup.dat=data/Korvo_backup.dat"
             "Korvo/user/factory.kvl=data/factory.kvl")
  string(REPLACE "=" ";" pair "${pair}")
  list(GET pair 0 installed)
  list(GET pair 1 built)
  if(NOT EXISTS "${vst}/${installed}")
    message(FATAL_ERROR "not installed: ${vst}/${installed}")
  endif()
  execute_process(COMMAND "${CMAKE_COMMAND}" -E compare_files "${vst}/${installed}" "${BUILD_DIR}/${built}" RESULT_VARIABLE same)
  if(NOT same EQUAL 0)
    message(FATAL_ERROR "${installed} differs from the built ${built}")
  endif()
endforeach()
foreach(f "${PLUGIN_NAME}" "Korvo/readme.txt")
  if(NOT EXISTS "${vst}/${f}")
    message(FATAL_ERROR "not installed: ${vst}/${f}")
  endif()
endforeach()

# No settings file: the installed plug-in uses the folders beside itself.
set(ENV{XDG_CONFIG_HOME} "${WORK_DIR}/config")
execute_process(COMMAND "${VSTHOST}" --chunk-out "${WORK_DIR}/chunk.bin" "${vst}/${PLUGIN_NAME}"
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "vsthost failed (${rc}):\n${out}${err}")
endif()
file(READ "${WORK_DIR}/chunk.bin" chunk HEX)
file(READ "${BUILD_DIR}/data/factory.kvl" program0 OFFSET 20 LIMIT 544 HEX)
if(NOT chunk STREQUAL program0)
  message(FATAL_ERROR "the installed plug-in does not start with factory program 000")
endif()
message(STATUS "installed layout under ${vst} is complete and the plug-in starts with the factory sounds")
