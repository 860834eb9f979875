# The Linux package as a user meets it: unpack, answer korvinst's questions on the terminal with
# a folder of one's choice, then play the installed plug-in; then the unattended mode into a
# second folder. -DBUILD_DIR= -DWORK_DIR= -DVSTHOST= -DPACKAGE= (the .tar.gz) -DNAME= (its folder)
execute_process(COMMAND "${CMAKE_COMMAND}" --build "${BUILD_DIR}" --target package-linux-x86_64
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "building the package failed:\n${out}${err}")
endif()
file(REMOVE_RECURSE "${WORK_DIR}")
file(MAKE_DIRECTORY "${WORK_DIR}/unpacked" "${WORK_DIR}/config" "${WORK_DIR}/my vst")
execute_process(COMMAND "${CMAKE_COMMAND}" -E tar xzf "${PACKAGE}" WORKING_DIRECTORY "${WORK_DIR}/unpacked" RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "unpacking ${PACKAGE} failed")
endif()
set(pkg "${WORK_DIR}/unpacked/${NAME}")
set(ENV{XDG_CONFIG_HOME} "${WORK_DIR}/config")

# The folder, then OK to "Install to ... ?".
file(WRITE "${WORK_DIR}/answers.txt" "${WORK_DIR}/my vst\n\n")
execute_process(COMMAND "${pkg}/korvinst" INPUT_FILE "${WORK_DIR}/answers.txt"
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT rc EQUAL 0 OR NOT out MATCHES "Korvo has been installed\\.")
  message(FATAL_ERROR "korvinst on the terminal failed (${rc}):\n${out}${err}")
endif()
set(vst "${WORK_DIR}/my vst")
foreach(f Korvo.so Korvo/readme.txt Korvo/data/wavrom.bin Korvo/data/Korvo_backup.dat Korvo/user/factory.kvl)
  if(NOT EXISTS "${vst}/${f}")
    message(FATAL_ERROR "not installed: ${vst}/${f}")
  endif()
endforeach()
file(READ "${WORK_DIR}/config/Korvo/settings.conf" settings)
if(NOT settings MATCHES "path_data=${vst}/Korvo/data\n")
  message(FATAL_ERROR "the settings do not name the data folder:\n${settings}")
endif()
execute_process(COMMAND "${VSTHOST}" --note 60:100:0.5 --seconds 1 "${vst}/Korvo.so"
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
string(REGEX MATCH "render.peak=([0-9.]+)" _ "${out}")
if(NOT rc EQUAL 0 OR NOT CMAKE_MATCH_1 OR CMAKE_MATCH_1 LESS 0.01)
  message(FATAL_ERROR "the installed plug-in does not play (${rc}):\n${out}${err}")
endif()

# Cancel at the "already exists" question leaves everything; "abort" ends with status 1.
file(WRITE "${WORK_DIR}/answers.txt" "\n\ncancel\nabort\n")
execute_process(COMMAND "${pkg}/korvinst" "/D=${vst}" INPUT_FILE "${WORK_DIR}/answers.txt"
                RESULT_VARIABLE rc OUTPUT_VARIABLE out)
if(NOT rc EQUAL 1 OR NOT out MATCHES "already exists\\. Install anyway\\?" OR EXISTS "${vst}/Korvo/data/Korvo_backup.dat~")
  message(FATAL_ERROR "cancelling a second installation did not leave it alone (${rc}):\n${out}")
endif()

file(MAKE_DIRECTORY "${WORK_DIR}/quiet")
execute_process(COMMAND "${pkg}/korvinst" /S "/D=${WORK_DIR}/quiet" RESULT_VARIABLE rc ERROR_VARIABLE err)
if(NOT rc EQUAL 0 OR NOT EXISTS "${WORK_DIR}/quiet/Korvo/user/factory.kvl")
  message(FATAL_ERROR "the unattended installation failed (${rc}):\n${err}")
endif()
message(STATUS "the Linux package installs a playing plug-in on the terminal and unattended")
