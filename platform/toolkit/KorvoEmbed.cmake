# korvo_embed_file(<out-var> INPUT <file> NAME <symbol> [DEPENDS <targets...>])
# Turns a binary file into a C++ source defining korvo::embedded::<symbol> (bytes) and
# <symbol>_size at build time, so the data travels inside the binary on every platform.
# The path of the generated source is returned in <out-var>; add it to a target's SOURCES.
set(_korvo_embed_script "${CMAKE_CURRENT_LIST_DIR}/embedFileScript.cmake")
function(korvo_embed_file out_var)
  cmake_parse_arguments(A "" "INPUT;NAME" "DEPENDS" ${ARGN})
  set(_out "${CMAKE_CURRENT_BINARY_DIR}/embedded/${A_NAME}.cpp")
  add_custom_command(
    OUTPUT "${_out}"
    COMMAND ${CMAKE_COMMAND} -DIN=${A_INPUT} -DOUT=${_out} -DNAME=${A_NAME} -P "${_korvo_embed_script}"
    DEPENDS "${A_INPUT}" "${_korvo_embed_script}" ${A_DEPENDS}
    COMMENT "Embedding ${A_NAME}"
    VERBATIM)
  set(${out_var} "${_out}" PARENT_SCOPE)
endfunction()
