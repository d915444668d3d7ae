#pragma once
// Memory dumps: the memories the register dumps, the blocks to read, the reader that a worker thread runs,
// the dump viewer's rows, dump files and their comparison.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>

#include "common/platform/Bytes.h"
#include "tools/tester/Driver.h"

namespace tessel::tst {

// The memories of the dump command in the order the page lists them; the device code is the index + 1.
inline constexpr const char* kDumpDevices[] = {
    "Накопитель ФП",         "Часы", "Энергонезависимая память", "Процессор ФП", "Память программ ККМ",
    "Оперативная память ККМ"};
inline constexpr int kDumpDeviceCount = static_cast<int>(std::size(kDumpDevices));

// The name of device code `code`; "Неизвестное устройство" outside 1..6.
std::string DumpDeviceName(int code);

// A choice of blocks that cannot be read; the message is the one to show.
class EDumpError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// Blocks First .. End - 1.
struct TDumpRange {
    int First = 0;
    int End = 0;
    int Total() const { return End - First; }
    bool operator==(const TDumpRange&) const = default;
};
// The whole memory of `count` blocks.
TDumpRange WholeDump(int count);
// Blocks `start` .. `end` of a memory of `count` blocks, the end cut to the last block there is. Throws
// EDumpError "Начальный номер блока (S)\r\nне может превышать конечный (E)." when the start lies beyond the
// (cut) end.
TDumpRange BlockRange(int start, int end, int count);

// How a dump reader reaches the window while it runs on its worker thread.
struct TDumpEvents {
    std::function<bool()> stopped;                        // asked before each block
    std::function<void(int read)> progress;               // after each block read
    std::function<bool(const std::string&)> askContinue;  // "<why>. Продолжить ?": true repeats the block
};

// Reads the blocks of `range` of device `device` in order, appending their bytes to `dump` as each comes.
// Opens the port and sets the device first (a failure raises EDriverError); a block that fails asks whether
// to go on: yes repeats it, no ends the reading with what was read. Ends early, with what was read, when
// `stopped` says so. Whatever else fails on the way is raised, with the blocks read before it kept in `dump`;
// returns the number of blocks read.
int ReadDump(TDriver& driver, int device, const TDumpRange& range, const TDumpEvents& events, Bytes& dump);

// The failure that ended a dump early, for the user: what failed, then how many of the blocks were read
// ("Прочитано блоков: 2 из 4; они сохранены в дампе.").
std::string DumpFailureText(const std::string& what, int read, int total);

// "nn.ss.zzz": minutes, seconds and milliseconds of `ms`.
std::string ElapsedText(std::uint32_t ms);

// ---- The viewer: 16 bytes a row, the row's offset in front ----

inline constexpr int kDumpRowBytes = 16;
// Rows for `size` bytes; an empty dump still has one.
int DumpRowCount(std::size_t size);
// The offset of row `row` as six hex digits.
std::string DumpOffsetText(int row);
// Byte `column` (0..15) of row `row` as two hex digits; empty past the end of `data`.
std::string DumpByteText(const Bytes& data, int row, int column);

// ---- Files ----

// The largest file the viewer opens: far beyond any register's memory, well within what a grid shows.
inline constexpr std::uintmax_t kMaxDumpFileSize = 64u << 20;

// The dump as raw bytes, replacing the file in one step, readable by its owner only. Throws
// std::system_error naming the file.
void SaveDumpFile(const std::string& fileName, const Bytes& data);
// A dump file's bytes. Throws EDumpError naming the file when it cannot be read or is larger than
// kMaxDumpFileSize.
Bytes LoadDumpFile(const std::string& fileName);

enum class TDumpCompare { Same, Different, SizeDiffers };
// `data` against the file's bytes. Throws EDumpError naming the file when it cannot be read.
TDumpCompare CompareDumpFile(const Bytes& data, const std::string& fileName);
// "Файлы не отличаются.", "Файлы отличаются.", "Размеры файлов отличаются.".
const char* CompareText(TDumpCompare result);

}  // namespace tessel::tst
