// Fault planning, checksum corruption, pacing, and the program's options.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "driver/link/CRC.h"
#include "driver/link/EcrFrame.h"
#include "tools/emulator/EmuFaults.h"
#include "tools/emulator/EmuProgram.h"

namespace {

TEST(Faults, EachFaultHitsItsAnswerOnceAndTheNumberingGoesOn) {
    EmuFaults f;
    f.DropAnswer(2);
    f.CorruptAnswer(3);
    f.NoiseBeforeAnswer(3, {0x01});
    f.NoiseBeforeAnswer(3, {0x02});
    f.SetDelay(40);
    const EmuFaultAction a1 = f.NextAnswer();
    EXPECT_EQ(a1.number, 1u);
    EXPECT_FALSE(a1.drop || a1.corrupt || !a1.noise.empty());
    EXPECT_EQ(a1.delayMs, 40u);
    EXPECT_TRUE(f.NextAnswer().drop);
    const EmuFaultAction a3 = f.NextAnswer();
    EXPECT_TRUE(a3.corrupt && !a3.drop);
    EXPECT_EQ(a3.noise, (Bytes{0x01, 0x02}));

    f.DropAnswer(5);
    f.Clear();
    const EmuFaultAction a4 = f.NextAnswer();
    EXPECT_EQ(a4.number, 4u);
    EXPECT_EQ(a4.delayMs, 0u);
    EXPECT_FALSE(f.NextAnswer().drop);
    EXPECT_THROW(f.DropAnswer(0), std::invalid_argument);
    EXPECT_THROW(f.CorruptAnswer(0), std::invalid_argument);
    EXPECT_THROW(f.NoiseBeforeAnswer(0, {1}), std::invalid_argument);
}

// A slow operation delays the answer of an executed request; its repetition is answered at once.
TEST(Faults, ExecutionDelayHoldsExecutedAnswersOnly) {
    EmuFaults f;
    f.SetDelay(10);
    f.SetExecutionDelay(300);
    EXPECT_EQ(f.NextAnswer().delayMs, 310u);
    EXPECT_EQ(f.NextAnswer(true).delayMs, 10u);
    f.Clear();
    EXPECT_EQ(f.NextAnswer().delayMs, 0u);
}

// A body whose checksum's high byte is `high`, found by varying its data.
Bytes BodyWithCrcHigh(std::uint8_t high) {
    Bytes body{1, 2, 1, 0, 1, 3, 0x11, 0x00, 0x00};
    for (int v = 0; v < 65536; ++v) {
        body[7] = static_cast<std::uint8_t>(v);
        body[8] = static_cast<std::uint8_t>(v >> 8);
        if ((CalcCRC(body.data(), body.size()) >> 8) == high) return body;
    }
    ADD_FAILURE() << "no body for " << int(high);
    return body;
}

class CorruptChecksum : public ::testing::TestWithParam<int> {};

TEST_P(CorruptChecksum, FrameStillReassemblesButFailsItsCheck) {
    const Bytes body = BodyWithCrcHigh(static_cast<std::uint8_t>(GetParam()));
    const Bytes bad = CorruptFrameChecksum(BuildFrame(body));
    std::vector<std::pair<Bytes, bool>> frames;
    TEcrFrame assembler;
    assembler.OnFrame = [&](TEcrFrame& f) { frames.emplace_back(f.Data(), f.CrcOk()); };
    assembler.Feed(bad);
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_FALSE(frames[0].second);
    ASSERT_EQ(frames[0].first.size(), body.size() + 3);
    EXPECT_TRUE(std::equal(body.begin(), body.end(), frames[0].first.begin() + 1));
}

// Plain high bytes, the two that need stuffing, and the two the corruption writes.
INSTANTIATE_TEST_SUITE_P(HighBytes, CorruptChecksum, ::testing::Values(0x00, 0x01, 0x33, 0x7D, 0x7E, 0xFF));

TEST(Pacing, PiecesInOrder) {
    const Bytes data{1, 2, 3, 4, 5, 6, 7};
    EXPECT_EQ((EmuPacing{0, 0}.Pieces(data)), (std::vector<Bytes>{data}));
    EXPECT_EQ((EmuPacing{0, 3}.Pieces(data)), (std::vector<Bytes>{{1, 2, 3}, {4, 5, 6}, {7}}));
    EXPECT_TRUE((EmuPacing{0, 3}.Pieces({})).empty());
}

std::vector<std::string> Words(const std::string& line) {
    std::vector<std::string> out;
    std::string word;
    for (char c : line + " ") {
        if (c != ' ') {
            word += c;
        } else if (!word.empty()) {
            out.push_back(std::move(word));
            word.clear();
        }
    }
    return out;
}

TEST(Options, ValuesAreTakenInBothForms) {
    const EmuProgramOptions o = ParseOptions(
        Words("--device /dev/ttyS3 --com 7 --address 2 --address=5 --baud 9600 --split 8 --drop 2 --drop 4 "
              "--noise 1:00ff --serial none --inn 123 --exec-delay 700 --verbose"));
    EXPECT_EQ(o.device, "/dev/ttyS3");
    EXPECT_EQ(o.comPort, 7);
    EXPECT_EQ(o.addresses, (std::vector<std::uint8_t>{2, 5}));
    EXPECT_EQ(o.baud, 9600u);
    EXPECT_EQ(o.pacing.baud, 9600u);
    EXPECT_EQ(o.pacing.split, 8u);
    EXPECT_EQ(o.drop, (std::vector<std::uint64_t>{2, 4}));
    ASSERT_EQ(o.noise.size(), 1u);
    EXPECT_EQ(o.noise[0], (std::pair<std::uint64_t, Bytes>{1, {0x00, 0xFF}}));
    ASSERT_TRUE(o.serialNumber.has_value());
    EXPECT_FALSE(o.serialNumber->has_value());  // never entered
    EXPECT_EQ(o.inn, std::optional<std::uint64_t>(123));
    EXPECT_FALSE(o.eklzNumber.has_value());  // the model's own
    EXPECT_EQ(o.executionDelayMs, 700u);
    EXPECT_TRUE(o.verbose);
}

class OptionsRefused : public ::testing::TestWithParam<const char*> {};

TEST_P(OptionsRefused, WithAMessage) {
    EXPECT_THROW(ParseOptions(Words(GetParam())), std::invalid_argument) << GetParam();
}

INSTANTIATE_TEST_SUITE_P(Cases, OptionsRefused,
                         ::testing::Values("--bogus", "--address", "--address 0", "--address 256",
                                           "--address 2 --address 2", "--address two", "--com 0", "--com 33",
                                           "--baud 0", "--baud 14400", "--split 0", "--drop 0",
                                           "--corrupt -1", "--noise 1", "--noise 0:00", "--noise 1:0",
                                           "--noise 1:zz", "--noise 1:", "--serial 123456789",
                                           "--inn 1234567890123", "--eklz x", "--verbose=1", "--device",
                                           "--timeout 0", "--delay 9999999", "--exec-delay x"));

TEST(Options, HelpNamesEveryOptionAndGivesAnExample) {
    const std::string help = HelpText();
    for (const char* text :
         {"--device",  "--com",   "--address",    "--computer", "--counters", "--baud",        "--split",
          "--timeout", "--delay", "--exec-delay", "--drop",     "--corrupt",  "--noise",       "--serial",
          "--inn",     "--eklz",  "--verbose",    "--help",     "PTY <path>", "send ADDR HEX", "Example"}) {
        EXPECT_NE(help.find(text), std::string::npos) << text;
    }
}

}  // namespace
