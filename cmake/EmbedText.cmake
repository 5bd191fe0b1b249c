# cmake -DINPUT=file -DOUTPUT=file.cpp -DSYMBOL=name -DNAMESPACE=ns -P EmbedText.cmake
# Writes a C++ source that defines `const std::string_view ns::name` holding the file's bytes,
# so tools carry their SQL scripts and texts inside the binary.
file(READ "${INPUT}" content HEX)
string(LENGTH "${content}" hexlen)
set(bytes "")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "'\\\\x\\1'," bytes "${content}")
math(EXPR size "${hexlen} / 2")
file(WRITE "${OUTPUT}.tmp"
  "// Generated from ${INPUT}; do not edit.\n#include <string_view>\nnamespace ${NAMESPACE} {\n"
  "static const char ${SYMBOL}_data[] = {${bytes} '\\0'};\n"
  "extern const std::string_view ${SYMBOL}(${SYMBOL}_data, ${size});\n}\n")
file(RENAME "${OUTPUT}.tmp" "${OUTPUT}")
