#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <sstream>
#include <thread>
#include <vector>

#include "common/platform/AtomicFile.h"
#include "driver/base/untLogFile.h"
#include "support/TempDir.h"

namespace {

std::string ReadAll(const std::string& path) {
    std::string s;
    tessel::ReadWholeFile(path, s);
    return s;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> out;
    std::size_t pos = 0;
    while (pos < text.size()) {
        const auto end = text.find("\r\n", pos);
        EXPECT_NE(end, std::string::npos) << "every line ends with CR LF";
        if (end == std::string::npos) break;
        out.push_back(text.substr(pos, end - pos));
        pos = end + 2;
    }
    return out;
}

const std::regex kStamped(R"(\d\d\.\d\d\.\d{4} \d\d:\d\d:\d\d\.\d{3} (.*))");

}  // namespace

TEST(LogFile, TimeStampFormat) {
    EXPECT_EQ(TLogFile::FormatTimeStamp(1, 2, 2024, 9, 5, 3, 7), "01.02.2024 09:05:03.007 ");
}

TEST(LogFile, DisabledCreatesNoFile) {
    TempDir dir;
    TLogFile log;
    log.SetFileName(dir.File("a.log"));
    for (int i = 0; i < 10; ++i) log.Write("COM1 -> 7E ");
    EXPECT_EQ(access(dir.File("a.log").c_str(), F_OK), -1);
}

TEST(LogFile, LinesAreStampedAppendedAndErrorsTakeThreeLines) {
    TempDir dir;
    const auto path = dir.File("a.log");
    tessel::WriteFileAtomically(path, "old\r\n", 0644);
    TLogFile log;
    log.SetFileName(path);
    log.SetEnabled(true);
    log.Write("Порт COM1");
    log.WriteError("Ошибка при вызове события IDriverEvents.", "boom");
    const auto lines = Lines(ReadAll(path));
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[0], "old");
    std::smatch m;
    const std::vector<std::string> texts = {"Порт COM1", "Ошибка при вызове события IDriverEvents.", "boom",
                                            std::string(60, '-')};
    for (std::size_t i = 0; i < texts.size(); ++i) {
        ASSERT_TRUE(std::regex_match(lines[i + 1], m, kStamped)) << lines[i + 1];
        EXPECT_EQ(m[1], texts[i]);
    }
}

TEST(LogFile, ReopenRules) {
    TempDir dir;
    TLogFile log;
    log.SetFileName(dir.File("a.log"));
    log.SetEnabled(true);
    log.Write("one");
    // The log follows its name: a file moved away (rotated by another engine or by the system's log
    // rotation) takes no later line, which starts a new file at the name.
    std::filesystem::rename(dir.File("a.log"), dir.File("moved.log"));
    log.SetFileName(dir.File("a.log"));
    log.SetEnabled(true);
    log.Write("after the move");
    EXPECT_EQ(ReadAll(dir.File("moved.log")).find("after the move"), std::string::npos);
    EXPECT_NE(ReadAll(dir.File("a.log")).find("after the move\r\n"), std::string::npos);
    // A new name closes the old file; the next line creates the new one.
    log.SetFileName(dir.File("b.log"));
    log.Write("two");
    EXPECT_NE(ReadAll(dir.File("b.log")).find("two\r\n"), std::string::npos);
    // Off and on again reopens at the next line.
    log.SetEnabled(false);
    log.Write("off");
    log.SetEnabled(true);
    log.Write("three");
    const auto text = ReadAll(dir.File("b.log"));
    EXPECT_EQ(text.find("off"), std::string::npos);
    EXPECT_NE(text.find("three\r\n"), std::string::npos);
}

TEST(LogFile, BadPathFailsSilentlyAndRetries) {
    TempDir dir;
    TLogFile log;
    log.SetEnabled(true);
    log.SetFileName(dir.File("missing/dir/a.log"));
    log.Write("dropped");
    std::filesystem::create_directories(dir.File("missing/dir"));
    log.Write("kept");
    const auto text = ReadAll(dir.File("missing/dir/a.log"));
    EXPECT_EQ(text.find("dropped"), std::string::npos);
    EXPECT_NE(text.find("kept"), std::string::npos);
}

// Two writers of one log (here two log objects, as two engines would be) take turns: both keep every line.
TEST(LogFile, SharedWithAnotherWriter) {
    TempDir dir;
    const auto path = dir.File("a.log");
    {
        TLogFile other;
        other.SetFileName(path);
        other.SetEnabled(true);
        other.Write("other");
        TLogFile log;
        log.SetFileName(path);
        log.SetEnabled(true);
        log.Write("while the other has it open");
        other.Write("other again");
    }
    const auto lines = Lines(ReadAll(path));
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_NE(lines[1].find("while the other has it open"), std::string::npos);
    EXPECT_NE(lines[2].find("other again"), std::string::npos);
}

TEST(LogFile, LinesFromThreadsNeverInterleave) {
    TempDir dir;
    TLogFile log;
    log.SetFileName(dir.File("a.log"));
    log.SetEnabled(true);
    constexpr int kThreads = 4, kLines = 50;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&log, t] {
            for (int i = 0; i < kLines; ++i) {
                if (i % 10 == 0) {
                    log.WriteError("step " + std::to_string(t), "message " + std::to_string(t));
                } else {
                    log.Write(std::string(200, static_cast<char>('a' + t)));
                }
            }
        });
    }
    for (auto& th : threads) th.join();
    const auto lines = Lines(ReadAll(dir.File("a.log")));
    ASSERT_EQ(lines.size(), static_cast<std::size_t>(kThreads * (kLines + 2 * (kLines / 10))));
    for (std::size_t i = 0; i < lines.size(); ++i) {
        std::smatch m;
        ASSERT_TRUE(std::regex_match(lines[i], m, kStamped)) << lines[i];
        const std::string text = m[1];
        if (text.rfind("step ", 0) == 0) {
            // An error report's three lines stay together.
            ASSERT_LT(i + 2, lines.size());
            EXPECT_NE(lines[i + 1].find("message " + text.substr(5)), std::string::npos);
            EXPECT_NE(lines[i + 2].find(std::string(60, '-')), std::string::npos);
        } else if (text.rfind("message", 0) != 0 && text != std::string(60, '-')) {
            EXPECT_EQ(text, std::string(200, text[0]));
        }
    }
}
