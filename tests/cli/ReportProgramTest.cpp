// tessel report: one archive a support desk can read, in which no cashier's password survives in the log.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/platform/HexText.h"
#include "driver/link/EcrFrame.h"
#include "support/ChildProcess.h"
#include "support/DriverRegistration.h"
#include "support/EmulatorProgram.h"
#include "support/TempDir.h"
#include "tools/tessel/ReportCommand.h"

using namespace tessel_test;

namespace {

// A cashier's password whose bytes (7E 7D 00 00) are the ones the line escapes.
constexpr const char* kPassword = "32126";
constexpr const char* kPasswordOnTheLine = "7D 9E 7D 9D 00 00";

TEST(ReportProgram, BundlesEverythingAndMasksThePasswordsTableWritesCarry) {
    RegisteredCopy driver;
    TempDir files;
    EmulatorProgram emulator(kRegisterAt2, driver.Settings());
    Env env = driver.Settings();
    env["TESSEL_COM1"] = emulator.Path();
    const RunResult write = RunProgram(TESSEL_CLI, {"set",  "PortNumber=1",
                                                    "set",  "LogEnabled=true",
                                                    "set",  "TableNumber=2",
                                                    "set",  "RowNumber=1",
                                                    "set",  "FieldNumber=1",
                                                    "set",  "FieldType=0",
                                                    "set",  std::string("FieldValue=") + kPassword,
                                                    "call", "WriteTable",
                                                    "call", "ReadTable",
                                                    "get",  "FieldValue",
                                                    "call", "GetECRStatus"},
                                       env);
    ASSERT_EQ(write.status, 0) << write.out << write.err;
    ASSERT_NE(write.out.find(std::string("FieldValue = ") + kPassword), std::string::npos) << write.out;

    const std::string bundle = files.File("support.tar");
    const RunResult report = RunProgram(TESSEL_CLI, {"report", bundle}, env);
    ASSERT_EQ(report.status, 0) << report.out << report.err;
    const RunResult list = RunProgram("/usr/bin/tar", {"tf", bundle});
    EXPECT_EQ(list.OutLines(),
              (std::vector<std::string>{"versions.txt", "settings.txt", "ports.txt", "stats.txt",
                                        "stats.json", "doctor.txt", "log.txt"}));
    const std::string log = RunProgram("/usr/bin/tar", {"xOf", bundle, "log.txt"}).out;
    EXPECT_EQ(log.find(kPasswordOnTheLine), std::string::npos) << log;
    // The write's and the read's frames are there, their values and checksums masked; other frames whole.
    EXPECT_NE(log.find(" -> 7E 02 01 00 "), std::string::npos) << log;
    EXPECT_NE(log.find("1E 02 01 00 01 00 ** ** ** ** ** ** ** **"), std::string::npos) << log;
    EXPECT_NE(log.find("1F 00 00 ** ** ** ** ** ** ** **"), std::string::npos) << log;
    EXPECT_NE(log.find(" 01 11 "), std::string::npos) << log;
    const std::string doctor = RunProgram("/usr/bin/tar", {"xOf", bundle, "doctor.txt"}).out;
    EXPECT_NE(doctor.find("All is well."), std::string::npos) << doctor;
    const std::string settings = RunProgram("/usr/bin/tar", {"xOf", bundle, "settings.txt"}).out;
    EXPECT_NE(settings.find("\"LogEnabled\" = 1"), std::string::npos) << settings;
}

// A register's answer read in two pieces is logged over two lines; its value is masked in both.
TEST(ReportProgram, AValueLoggedOverTwoReadsIsMaskedInBoth) {
    const Bytes answer =
        BuildFrame({0x01, 0x02, 0x01, 0x05, 0x06, 0x07, 0x1F, 0x00, 0x00, 0x7E, 0x7D, 0x00, 0x00});
    const std::string hex = BytesToHex(answer);
    const std::size_t cut = 3 * 11;  // inside the value, after the first escape
    const std::string stamp = "10.12.2026 10:00:00.000 ";
    const std::string log = stamp + "COM1 <- " + hex.substr(0, cut) + "\r\n" + stamp +
                            "COM2 -> 7E 01 02 \r\n" + stamp + "COM1 <- " + hex.substr(cut) + "\r\n";
    const std::string masked = tessel::cli::MaskTableValues(log);
    EXPECT_EQ(masked.size(), log.size());
    EXPECT_NE(masked.find("COM1 <- 7E 01 02 01 05 06 07 1F 00 00 ** \r\n"), std::string::npos) << masked;
    EXPECT_NE(masked.find("COM1 <- ** ** ** ** ** ** ** \r\n"), std::string::npos) << masked;
    EXPECT_NE(masked.find("COM2 -> 7E 01 02 \r\n"), std::string::npos) << masked;
}

}  // namespace
