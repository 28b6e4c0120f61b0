# Writes IN as a C++ string constant NS::IDENT into OUT, byte for byte.
file(READ ${IN} hex HEX)
string(LENGTH "${hex}" hex_len)
math(EXPR byte_count "${hex_len} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
file(WRITE ${OUT}
  "// Generated from ${IN}\nnamespace ${NS} {\nstatic const char ${IDENT}_data[] = {${bytes}0x00};\nextern const char* const ${IDENT};\nconst char* const ${IDENT} = ${IDENT}_data;\n}\n")
