#include "StateFile.h"

#include "SimulatedUnit.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <sys/stat.h>
#include <vector>

namespace {

constexpr std::array<char, 8> Magic{'T', 'V', 'R', 'N', 'A', 'N', 'D', '1'};
constexpr std::size_t CountSize = 4;
constexpr std::size_t HeaderSize = Magic.size() + CountSize;
constexpr std::size_t BlockNumberSize = 2;
constexpr std::size_t RecordSize = BlockNumberSize + 1 + SimulatedUnit::FrameSize;
constexpr int BitsPerByte = 8;
constexpr unsigned ByteMask = 0xFF;

using File = std::unique_ptr<std::FILE, int (*)(std::FILE *)>;

std::string systemError(const std::string &what, const std::string &path)
{
    return what + " " + path + ": " + std::strerror(errno);
}

// Writes through a temporary file that replaces `path` only once it is complete.
template <class Fill> bool replaceFile(const std::string &path, std::string &error, Fill fill)
{
    const std::string temporary = path + ".part";
    File file(std::fopen(temporary.c_str(), "wb"), std::fclose);
    if (!file) {
        error = systemError("cannot write", temporary);
        return false;
    }
    const bool filled = fill(file.get());
    const bool closed = std::fclose(file.release()) == 0;
    if (!filled || !closed) {
        error = systemError("cannot write", temporary);
        std::remove(temporary.c_str());
        return false;
    }
    if (std::rename(temporary.c_str(), path.c_str()) != 0) {
        error = systemError("cannot replace", path);
        std::remove(temporary.c_str());
        return false;
    }
    return true;
}

} // namespace

StateFile::Loaded StateFile::load(
    const std::string &path, SimulatedUnit &unit, int &pages, std::string &error, std::string &warning)
{
    pages = 0;
    warning.clear();
    File file(std::fopen(path.c_str(), "rb"), std::fclose);
    if (!file) {
        if (errno == ENOENT)
            return Loaded::Missing;
        error = systemError("cannot read", path);
        return Loaded::Damaged;
    }
    std::array<unsigned char, HeaderSize> header{};
    if (std::fread(header.data(), 1, header.size(), file.get()) != header.size()
        || !std::equal(Magic.begin(), Magic.end(), header.begin())) {
        error = path + " is not a state file of tavrin-sim";
        return Loaded::Damaged;
    }
    std::uint32_t count = 0;
    for (std::size_t i = 0; i < CountSize; ++i)
        count |= std::uint32_t(header[Magic.size() + i]) << (BitsPerByte * i);
    if (count > std::uint32_t(SimulatedUnit::Blocks) * SimulatedUnit::PagesPerBlock) {
        error = path + " is damaged: it claims " + std::to_string(count) + " pages";
        return Loaded::Damaged;
    }

    // Nothing is stored into the unit before the whole file has been read and found sound.
    std::vector<unsigned char> records(std::size_t(count) * RecordSize);
    if (std::fread(records.data(), 1, records.size(), file.get()) != records.size()
        || std::fgetc(file.get()) != EOF) {
        error = path + " is damaged: its length does not match its " + std::to_string(count) + " pages";
        return Loaded::Damaged;
    }
    std::vector<bool> seen(std::size_t(SimulatedUnit::Blocks) * SimulatedUnit::PagesPerBlock);
    int repeats = 0;
    for (std::uint32_t r = 0; r < count; ++r) {
        const unsigned char *record = records.data() + std::size_t(r) * RecordSize;
        const int block = record[0] | (record[1] << BitsPerByte);
        const int page = record[BlockNumberSize];
        const auto place = [&] {
            return "record " + std::to_string(r) + " names block " + std::to_string(block) + " page "
                + std::to_string(page);
        };
        if (block >= SimulatedUnit::Blocks || page >= SimulatedUnit::PagesPerBlock) {
            error = path + " is damaged: page " + place();
            return Loaded::Damaged;
        }
        const std::size_t index = std::size_t(block) * SimulatedUnit::PagesPerBlock + page;
        if (seen[index] && ++repeats == 1)
            warning = "the first: " + place();
        seen[index] = true;
    }
    if (repeats > 0)
        warning = path + " holds " + std::to_string(repeats) + " page records that repeat an earlier one ("
            + warning + "); each page takes its last record";
    for (std::uint32_t r = 0; r < count; ++r) {
        const unsigned char *record = records.data() + std::size_t(r) * RecordSize;
        unit.storeFrame(
            record[0] | (record[1] << BitsPerByte), record[BlockNumberSize], record + BlockNumberSize + 1);
    }
    pages = int(count) - repeats;
    return Loaded::Pages;
}

bool StateFile::canWrite(const std::string &path, std::string &error)
{
    struct stat status = {};
    if (stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode)) {
        errno = EISDIR;
        error = systemError("cannot write", path);
        return false;
    }
    // The files are written beside their place and then moved there, so that is what is tried.
    const std::string temporary = path + ".part";
    File file(std::fopen(temporary.c_str(), "wb"), std::fclose);
    if (!file) {
        error = systemError("cannot write", path);
        return false;
    }
    file.reset();
    std::remove(temporary.c_str());
    return true;
}

bool StateFile::save(const std::string &path, const SimulatedUnit &unit, std::string &error)
{
    return replaceFile(path, error, [&unit](std::FILE *file) {
        std::uint32_t count = 0;
        for (int b = 0; b < SimulatedUnit::Blocks; ++b) {
            for (int p = 0; p < SimulatedUnit::PagesPerBlock; ++p)
                count += unit.programmed(b, p) ? 1 : 0;
        }
        std::array<unsigned char, HeaderSize> header{};
        std::copy(Magic.begin(), Magic.end(), header.begin());
        for (std::size_t i = 0; i < CountSize; ++i)
            header[Magic.size() + i] = (count >> (BitsPerByte * i)) & ByteMask;
        bool ok = std::fwrite(header.data(), 1, header.size(), file) == header.size();
        for (int b = 0; b < SimulatedUnit::Blocks && ok; ++b) {
            for (int p = 0; p < SimulatedUnit::PagesPerBlock && ok; ++p) {
                if (!unit.programmed(b, p))
                    continue;
                const unsigned char place[] = {static_cast<unsigned char>(b & ByteMask),
                    static_cast<unsigned char>(b >> BitsPerByte), static_cast<unsigned char>(p)};
                ok = std::fwrite(place, 1, sizeof place, file) == sizeof place
                    && std::fwrite(unit.frame(b, p), 1, SimulatedUnit::FrameSize, file)
                        == std::size_t(SimulatedUnit::FrameSize);
            }
        }
        return ok;
    });
}

bool StateFile::writeDump(const std::string &path, const SimulatedUnit &unit, std::string &error)
{
    return replaceFile(path, error, [&unit](std::FILE *file) {
        bool ok = true;
        for (int b = 0; b < SimulatedUnit::Blocks && ok; ++b) {
            for (int p = 0; p < SimulatedUnit::PagesPerBlock && ok; ++p) {
                const std::vector<std::uint8_t> data = unit.pageData(b, p);
                ok = std::fwrite(data.data(), 1, data.size(), file) == data.size();
            }
        }
        return ok;
    });
}
