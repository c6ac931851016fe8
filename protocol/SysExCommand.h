#pragma once

#include <cstdint>

// Command bytes of the messages sent to the unit (byte 9 of the frame).
enum SysExCommand : std::uint8_t {
    CMD_IDENTIFY = 0x00,
    CMD_READ_DEFECTS = 0x08,
    CMD_READ_FLASH = 0x09,
    CMD_ERASE_BLOCK = 0x0A,
    CMD_WRITE_PAGE = 0x0B,
    CMD_PAGE_DATA = 0x0C,
    CMD_PROGRAM_PAGE = 0x0D,
    CMD_RESET_NAND = 0x0E,
    CMD_FINISH = 0x0F,
};
