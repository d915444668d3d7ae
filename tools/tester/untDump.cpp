#include "tools/tester/untDump.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <optional>
#include <system_error>

#include "common/platform/AtomicFile.h"
#include "common/platform/TextFormat.h"

namespace tessel::tst {

namespace {

// A file as a stream of bytes; EDumpError naming it when it cannot be opened.
std::ifstream OpenDumpFile(const std::string& fileName, std::uintmax_t& size) {
    std::error_code ec;
    size = std::filesystem::file_size(fileName, ec);
    std::ifstream in;
    if (!ec) in.open(fileName, std::ios::binary);
    if (ec || !in) throw EDumpError("Не удалось открыть файл " + fileName);
    return in;
}

}  // namespace

std::string DumpDeviceName(int code) {
    return code >= 1 && code <= kDumpDeviceCount ? kDumpDevices[code - 1] : "Неизвестное устройство";
}

TDumpRange WholeDump(int count) {
    return {0, std::max(count, 0)};
}

TDumpRange BlockRange(int start, int end, int count) {
    end = std::min(end, count - 1);
    if (end < start)
        throw EDumpError(
            FormatText("Начальный номер блока (%d)\r\nне может превышать конечный (%d).", start, end));
    return {start, end + 1};
}

int ReadDump(TDriver& driver, int device, const TDumpRange& range, const TDumpEvents& events, Bytes& dump) {
    {
        const auto sequence = driver.Sequence();
        driver.Open();
        driver.PutLong("DeviceNumber", device);
        driver.CheckResult();
    }
    int read = 0;
    for (int block = range.First; block < range.End && !events.stopped();) {
        std::optional<Bytes> data;
        std::string why;
        {
            const auto sequence = driver.Sequence();
            driver.PutLong("DeviceNumber", device);
            driver.PutLong("DataBlockNumber", block);
            if (driver.Call("GetDump") == 0)
                data = driver.GetBytes("DataBlock");
            else
                why = driver.GetText("ResultDescription");
        }
        // Asked with the driver free: the window may call it before it answers.
        if (!data) {
            if (!events.askContinue(why + ". Продолжить ?")) break;
            continue;
        }
        dump.insert(dump.end(), data->begin(), data->end());
        events.progress(++read);
        ++block;
    }
    return read;
}

std::string DumpFailureText(const std::string& what, int read, int total) {
    return what + FormatText("\r\nПрочитано блоков: %d из %d; они сохранены в дампе.", read, total);
}

std::string ElapsedText(std::uint32_t ms) {
    return FormatText("%02u.%02u.%03u", ms / 60000, ms / 1000 % 60, ms % 1000);
}

int DumpRowCount(std::size_t size) {
    return std::max(1, static_cast<int>((size + kDumpRowBytes - 1) / kDumpRowBytes));
}

std::string DumpOffsetText(int row) {
    return FormatText("%06X", static_cast<unsigned>(row) * kDumpRowBytes);
}

std::string DumpByteText(const Bytes& data, int row, int column) {
    const std::size_t at = static_cast<std::size_t>(row) * kDumpRowBytes + static_cast<std::size_t>(column);
    if (row < 0 || column < 0 || column >= kDumpRowBytes || at >= data.size()) return {};
    return FormatText("%02X", data[at]);
}

void SaveDumpFile(const std::string& fileName, const Bytes& data) {
    // A memory dump may hold the register's tables, cashiers' passwords among them: its owner's alone.
    WriteFileAtomically(fileName, std::string_view(reinterpret_cast<const char*>(data.data()), data.size()),
                        0600);
}

Bytes LoadDumpFile(const std::string& fileName) {
    std::uintmax_t size = 0;
    std::ifstream in = OpenDumpFile(fileName, size);
    if (size > kMaxDumpFileSize)
        throw EDumpError(FormatText("Файл %s слишком велик для дампа (больше %u МБ)", fileName.c_str(),
                                    static_cast<unsigned>(kMaxDumpFileSize >> 20)));
    Bytes data(static_cast<std::size_t>(size));
    if (!in.read(reinterpret_cast<char*>(data.data()), static_cast<std::streamsize>(data.size())))
        throw EDumpError("Не удалось прочитать файл " + fileName);
    return data;
}

TDumpCompare CompareDumpFile(const Bytes& data, const std::string& fileName) {
    std::uintmax_t size = 0;
    std::ifstream in = OpenDumpFile(fileName, size);
    if (size != data.size()) return TDumpCompare::SizeDiffers;
    // In pieces, so that a file of any size is compared without being held whole.
    char piece[65536];
    std::size_t at = 0;
    while (at < data.size()) {
        const std::size_t n = std::min(sizeof piece, data.size() - at);
        if (!in.read(piece, static_cast<std::streamsize>(n)))
            throw EDumpError("Не удалось прочитать файл " + fileName);
        if (!std::equal(piece, piece + n, data.begin() + static_cast<std::ptrdiff_t>(at),
                        [](char a, std::uint8_t b) { return static_cast<std::uint8_t>(a) == b; }))
            return TDumpCompare::Different;
        at += n;
    }
    return TDumpCompare::Same;
}

const char* CompareText(TDumpCompare result) {
    switch (result) {
        case TDumpCompare::Same:
            return "Файлы не отличаются.";
        case TDumpCompare::Different:
            return "Файлы отличаются.";
        case TDumpCompare::SizeDiffers:
            break;
    }
    return "Размеры файлов отличаются.";
}

}  // namespace tessel::tst
