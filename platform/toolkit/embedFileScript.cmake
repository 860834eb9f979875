# Script mode helper of korvo_embed_file: IN, OUT, NAME.
file(READ "${IN}" _hex HEX)
string(LENGTH "${_hex}" _len)
math(EXPR _size "${_len} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," _bytes "${_hex}")
# Break the single huge line every 32 bytes to keep compilers and editors happy.
string(REGEX REPLACE "((0x[0-9a-f][0-9a-f],){32})" "\\1\n" _bytes "${_bytes}")
file(WRITE "${OUT}.tmp"
"// Generated from ${IN}; do not edit.\n#include <cstddef>\nnamespace korvo::embedded {\n"
"extern const unsigned char ${NAME}[];\nextern const std::size_t ${NAME}_size;\n"
"alignas(4) const unsigned char ${NAME}[] = {\n${_bytes}\n0};\n"
"const std::size_t ${NAME}_size = ${_size};\n}  // namespace korvo::embedded\n")
file(RENAME "${OUT}.tmp" "${OUT}")
