# The Linux package as a user meets it: unpack, answer korvinst's questions on the terminal with
# a folder of one's choice, then play the installed plug-in. -DBUILD_DIR= -DWORK_DIR= -DVSTHOST= -DCLAPHOST= -DPACKAGE= (the .tar.gz) -DNAME= (its folder)
# -DMANUAL=1 when the build renders the manual (the package then carries it beside the read-me)
execute_process(COMMAND "${CMAKE_COMMAND}" --build "${BUILD_DIR}" --target package-linux-x86_64
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "building the package failed:\n${out}${err}")
endif()
file(REMOVE_RECURSE "${WORK_DIR}")
file(MAKE_DIRECTORY "${WORK_DIR}/unpacked" "${WORK_DIR}/config" "${WORK_DIR}/home")
execute_process(COMMAND "${CMAKE_COMMAND}" -E tar xzf "${PACKAGE}" WORKING_DIRECTORY "${WORK_DIR}/unpacked" RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "unpacking ${PACKAGE} failed")
endif()
set(pkg "${WORK_DIR}/unpacked/${NAME}")
foreach(_f Korvo.so manifest.ttl korvo.ttl presets.ttl Korvo/data/wavrom.bin Korvo/user/factory.kvl)
  if(NOT EXISTS "${pkg}/Korvo.lv2/${_f}")
    message(FATAL_ERROR "the package's LV2 bundle has no ${_f}")
  endif()
endforeach()
if(MANUAL)
  foreach(_f Korvo/manual/manual.html Korvo/manual/pictures/first-show.png Korvo.lv2/Korvo/manual/manual.html)
    if(NOT EXISTS "${pkg}/${_f}")
      message(FATAL_ERROR "the package has no ${_f}")
    endif()
  endforeach()
endif()
set(ENV{XDG_CONFIG_HOME} "${WORK_DIR}/config")
set(ENV{HOME} "${WORK_DIR}/home")

# Both plug-ins (Enter). A folder that cannot be made (OK to "Install to ... ?" and to making it):
# refused, and the default stays ~/.vst. Then a folder that does not exist yet: OK, OK, and it is made.
file(WRITE "${WORK_DIR}/answers.txt" "\n/proc/korvo-none/vst\n\n\n${WORK_DIR}/my vst\n\n\n")
execute_process(COMMAND "${pkg}/korvinst" INPUT_FILE "${WORK_DIR}/answers.txt"
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT rc EQUAL 0 OR NOT out MATCHES "Korvo has been installed\\.")
  message(FATAL_ERROR "korvinst on the terminal failed (${rc}):\n${out}${err}")
endif()
string(REGEX MATCHALL "path: \\[${WORK_DIR}/home/\\.vst\\]" defaults "${out}")
list(LENGTH defaults count)
if(NOT out MATCHES "does not exist\\. Create it\\?" OR NOT out MATCHES "Please select existing directory" OR
   NOT count EQUAL 2)
  message(FATAL_ERROR "korvinst did not offer to make the folder, or kept a refused one as its default:\n${out}")
endif()
set(vst "${WORK_DIR}/my vst")
if(NOT EXISTS "${vst}/Korvo/user/factory.kvl" OR NOT EXISTS "${vst}/Korvo/readme.txt")
  message(FATAL_ERROR "the files below the package's Korvo/ were not installed")
endif()
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

# Korvo.clap went into ~/.clap, where CLAP hosts look, and plays from there with the sounds the
# settings point to.
execute_process(COMMAND "${CLAPHOST}" --check descriptor --check notes --check presets "${WORK_DIR}/home/.clap/Korvo.clap"
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "the installed Korvo.clap does not pass claphost (${rc}):\n${out}${err}")
endif()

# The standalone was installed beside Korvo.so and starts (it needs no device to list its devices).
execute_process(COMMAND "${vst}/korvo" --list-devices RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT rc EQUAL 0 OR NOT out MATCHES "Audio outputs:")
  message(FATAL_ERROR "the installed korvo does not start (${rc}):\n${out}${err}")
endif()

message(STATUS "the Linux package installs a playing plug-in from the terminal")
