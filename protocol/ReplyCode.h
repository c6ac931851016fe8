#pragma once

// What a message from the unit is, as the reply parser classifies it.
enum ReplyCode : int {
    REPLY_NONE = 0,
    REPLY_DEVICE_INFO = 1,
    REPLY_MODE_IDLE = 3,
    REPLY_MODE_ACTIVE = 4,
    REPLY_DEFECT_DATA = 11,
    REPLY_FLASH_DATA = 12,
    REPLY_ERASE_STATUS = 13,
    REPLY_WRITE_READY = 14,
    REPLY_DATA_ACK = 15,
    REPLY_PROGRAM_STATUS = 16,
    REPLY_NAND_READY = 17,
};
