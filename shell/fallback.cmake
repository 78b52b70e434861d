# Compiles the resource file into the toolkit's fallback resources: one
# string per resource, continuation lines joined, comments dropped, so
# that the file stays the one source of every default.
#   cmake -DINPUT=app-defaults/Hostpick -DOUTPUT=fallback_resources.cpp
#         -DNAME=fallbackResources -P shell/fallback.cmake
file(READ "${INPUT}" text)
string(REPLACE "\\\n" "" text "${text}")
string(REGEX REPLACE "(^|\n)![^\n]*" "\\1" text "${text}")
string(REGEX REPLACE "\n\n+" "\n" text "${text}")
string(STRIP "${text}" text)
string(REPLACE "\\" "\\\\" text "${text}")
string(REPLACE "\"" "\\\"" text "${text}")
string(REPLACE "\n" "\"),\n    const_cast<char *>(\"" text "${text}")
file(WRITE "${OUTPUT}" "// Generated from ${INPUT} by shell/fallback.cmake.
#include \"shell/fallback.h\"

String ${NAME}[] = {
    const_cast<char *>(\"${text}\"),
    nullptr,
};
")
