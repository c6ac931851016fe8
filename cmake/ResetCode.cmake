# The four bytes that a NAND reset carries behind the image size belong to the unit, so the maker gives
# them with the build, as eight hex digits. The program and tavrin-sim take them from BuildInfo.h.
set(TAVRIN_DEFAULT_RESET_CODE 54415652)
set(TAVRIN_RESET_CODE ${TAVRIN_DEFAULT_RESET_CODE} CACHE STRING
    "Reset code of the unit: eight hex digits, four bytes of 00 to 7F (default ${TAVRIN_DEFAULT_RESET_CODE})")

set(byte "([0-7][0-9A-Fa-f])")
if(NOT TAVRIN_RESET_CODE MATCHES "^${byte}${byte}${byte}${byte}$")
    message(FATAL_ERROR "TAVRIN_RESET_CODE is '${TAVRIN_RESET_CODE}', but the unit's reset code is eight hex "
        "digits: four bytes of 00 to 7F each, as the unit's maker gives them (default "
        "${TAVRIN_DEFAULT_RESET_CODE})")
endif()
set(TAVRIN_RESET_CODE_BYTES "0x${CMAKE_MATCH_1}, 0x${CMAKE_MATCH_2}, 0x${CMAKE_MATCH_3}, 0x${CMAKE_MATCH_4}")
unset(byte)

string(TOUPPER "${TAVRIN_RESET_CODE}" reset_code)
if(reset_code STREQUAL TAVRIN_DEFAULT_RESET_CODE)
    set(TAVRIN_RESET_CODE_IS_DEFAULT ON)
else()
    set(TAVRIN_RESET_CODE_IS_DEFAULT OFF)
endif()
unset(reset_code)
