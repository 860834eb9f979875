# Lays out a package folder from a manifest ("source|folder inside the package" per line) and
# packs it: cmake -DMANIFEST= -DSTAGE= -DARCHIVE= -DFORMAT=zip|gnutar -P packageStage.cmake
file(STRINGS "${MANIFEST}" entries)
file(REMOVE_RECURSE "${STAGE}")
foreach(entry IN LISTS entries)
  string(REPLACE "|" ";" parts "${entry}")
  list(GET parts 0 source)
  list(GET parts 1 folder)
  if(NOT EXISTS "${source}")
    message(FATAL_ERROR "package: ${source} is missing (a cross build takes the data files from a native "
                        "build: build the release preset first, or set KORVO_NATIVE_DATA_DIR)")
  endif()
  file(MAKE_DIRECTORY "${STAGE}/${folder}")
  file(COPY "${source}" DESTINATION "${STAGE}/${folder}")
endforeach()
get_filename_component(parent "${STAGE}" DIRECTORY)
get_filename_component(name "${STAGE}" NAME)
file(REMOVE "${ARCHIVE}")
if(FORMAT STREQUAL "zip")
  execute_process(COMMAND "${CMAKE_COMMAND}" -E tar cf "${ARCHIVE}" --format=zip "${name}"
                  WORKING_DIRECTORY "${parent}" RESULT_VARIABLE rc)
else()
  execute_process(COMMAND "${CMAKE_COMMAND}" -E tar czf "${ARCHIVE}" "${name}"
                  WORKING_DIRECTORY "${parent}" RESULT_VARIABLE rc)
endif()
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "package: packing ${ARCHIVE} failed")
endif()
message(STATUS "package: ${ARCHIVE}")
