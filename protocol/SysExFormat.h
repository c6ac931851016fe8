#pragma once

#include "BuildInfo.h"

#include <array>
#include <cstdint>

// Numbers of the unit's message format, named once for the builders, the parser and the engine.
namespace SysEx {

constexpr std::uint8_t Start = 0xF0;
constexpr std::uint8_t End = 0xF7;
constexpr std::array<std::uint8_t, 3> ManufacturerId{0x00, 0x11, 0x22};
constexpr std::uint8_t ModelByte = 0x0A;

constexpr int ManufacturerPosition = 1;
constexpr int ModelPosition = 4;
constexpr int SerialPosition = 5;
constexpr int SerialLength = 4;
constexpr int CommandPosition = 9;
constexpr int HeadLength = 10;
constexpr int PayloadPosition = HeadLength;

// Everything between Start and End carries seven bits per byte.
constexpr std::uint8_t DataMask = 0x7F;
constexpr std::uint8_t HighBit = 0x80;
constexpr int BitsPerByte = 7;

// Put in front of the arguments of the commands with plain numeric arguments.
constexpr std::uint8_t ArgumentMarker = 0x7F;

// Widths of the numeric arguments, in 7-bit groups.
constexpr int SectorAddressGroups = 3;
constexpr int BlockGroups = 2;
constexpr int ImageSizeGroups = 4;
constexpr int SerialGroups = 4;
constexpr int VersionGroups = 2;

// The unit accepts a NAND reset only with its own code behind the image size; it comes with the build.
constexpr std::array<std::uint8_t, 4> ResetCode = BuildInfo::ResetCode;
// Both leading arguments of a NAND reset, as the engine sends them.
constexpr std::uint8_t ResetNandArgument = 2;

constexpr int IdentifyBufferSize = 48;
constexpr int MessageBufferSize = 768;
constexpr int ReceiveBufferSize = 1024;

// Four raw bytes travel as their low seven bits followed by one flag byte with their top bits.
constexpr int GroupRawBytes = 4;
constexpr int GroupLength = 5;
constexpr int FlagPosition = GroupRawBytes;

// A data message is the head, a checksum byte, the groups and End.
constexpr int ChecksumPosition = HeadLength;
constexpr int DataFieldPosition = ChecksumPosition + 1;
constexpr int DataMessageOverhead = DataFieldPosition + 1;
constexpr int MaxPageDataCount = (MessageBufferSize - DataMessageOverhead) / GroupLength * GroupRawBytes;
constexpr int PageDataPiece = 64;
constexpr int LastPageDataPiece = 48;

// Reply bytes at CommandPosition of the unit's messages.
constexpr std::uint8_t DeviceInfoReply = 0x20;
constexpr std::uint8_t DefectDataReply = 0x28;
constexpr std::uint8_t FlashDataReply = 0x29;
constexpr std::uint8_t EraseStatusReply = 0x2A;
constexpr std::uint8_t WriteReadyReply = 0x2B;
constexpr std::uint8_t DataAckReply = 0x2C;
constexpr std::uint8_t ProgramStatusReply = 0x2D;
constexpr std::uint8_t NandReadyReply = 0x2E;
constexpr std::uint8_t ModeReply = 0x43;

constexpr int StatusPosition = HeadLength;
constexpr std::uint8_t StatusOk = 0x00;
constexpr std::uint8_t StatusFailed = 0x02;
// The head, the status byte and End: a status reply of any other length is damaged.
constexpr int StatusReplyLength = StatusPosition + 2;
constexpr int ModePosition = HeadLength;
constexpr std::uint8_t ModeIdle = 0x00;
constexpr int VersionPosition = HeadLength;
// The identify reply's free text after the version: up to 16 characters, ended early by 7F or 00.
constexpr int InfoTextPosition = VersionPosition + VersionGroups;
constexpr int InfoTextMaxLength = 16;
constexpr std::uint8_t InfoTextEnd = 0x7F;
// What the simulated unit puts there, so that a build with a placeholder image can tell it from a unit.
constexpr char SimulatedUnitText[] = "TAVRIN SIM";

} // namespace SysEx
