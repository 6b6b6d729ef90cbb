# Turns the palette text files into a C++ string table, byte for byte.
# Called as: cmake -DOUT=file.cpp -DDIR=palette -DIDS=100,200 -P EmbedStrings.cmake
# and reads DIR/100.txt, DIR/200.txt, ...
string(REPLACE "," ";" ids "${IDS}")
set(body "")
foreach(id IN LISTS ids)
  file(READ "${DIR}/${id}.txt" hex HEX)
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "'\\\\x\\1'," chars "${hex}")
  string(APPEND body "    {${id}, {${chars} 0}},\n")
endforeach()
file(WRITE "${OUT}.tmp" "// Generated from resources/palette; do not edit.\n#include \"resources/string_table.h\"\n\nnamespace {\nstruct Entry { int id; const char text[2048]; };\nconst Entry table[] = {\n${body}};\n}\n\nconst char* findStringResource(int id)\n{\n    for (const Entry& e : table)\n        if (e.id == id)\n            return e.text;\n    return nullptr;\n}\n")
file(COPY_FILE "${OUT}.tmp" "${OUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUT}.tmp")
