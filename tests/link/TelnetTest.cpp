// The Telnet side of a network port: a client and an access server session talking to each other, every
// piece of the stream cut wherever it may be cut.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "driver/link/CUCommTelnet.h"

namespace {

using namespace telnet;

// Feeds `bytes` to `session` in pieces of `piece` bytes.
TTelnetSession::TReceived FeedInPieces(TTelnetSession& session, const Bytes& bytes, std::size_t piece) {
    TTelnetSession::TReceived got;
    for (std::size_t i = 0; i < bytes.size(); i += piece)
        session.Feed(bytes.data() + i, std::min(piece, bytes.size() - i), got);
    return got;
}

class TelnetTest : public ::testing::TestWithParam<std::size_t> {
  protected:
    // Carries what one side says to the other until both are quiet; what each received is kept.
    void Talk(Bytes toServer, Bytes toClient) {
        for (int round = 0; round < 10 && (!toServer.empty() || !toClient.empty()); ++round) {
            auto atServer = FeedInPieces(server_, toServer, GetParam());
            auto atClient = FeedInPieces(client_, toClient, GetParam());
            Keep(atServer, serverGot_);
            Keep(atClient, clientGot_);
            toServer = atClient.reply;
            toClient = atServer.reply;
        }
        EXPECT_TRUE(toServer.empty() && toClient.empty()) << "the negotiation does not end";
    }
    static void Keep(const TTelnetSession::TReceived& got, TTelnetSession::TReceived& all) {
        all.data.insert(all.data.end(), got.data.begin(), got.data.end());
        all.commands.insert(all.commands.end(), got.commands.begin(), got.commands.end());
    }

    TTelnetSession client_{TTelnetSession::TRole::Client, "Tessel"};
    TTelnetSession server_{TTelnetSession::TRole::Server, "TesselEmu"};
    TTelnetSession::TReceived clientGot_;
    TTelnetSession::TReceived serverGot_;
};

// Both offer what they want; the server also offers echo, which the client declines (once: no loop). Then
// the line's bytes, 255 among them, and a rate pass untouched.
TEST_P(TelnetTest, AgreeOnTheOptionThenCarryTheLineAndItsSettings) {
    Bytes serverHello = server_.Greeting();
    serverHello.insert(serverHello.end(), {kIac, kWill, 1});
    Talk(client_.Greeting(), serverHello);
    EXPECT_TRUE(client_.ComPortAgreed());
    EXPECT_TRUE(server_.ComPortAgreed());
    EXPECT_FALSE(client_.ComPortRefused());

    const Bytes line{0x7E, 0xFF, 0x00, 0xFF, 0xFF, 0xF0, 0x0D};
    Bytes toServer = TTelnetSession::EncodeData(line);
    const Bytes rate = TTelnetSession::ComPortCommand(cpSetBaudRate, BaudValue(0x0000FFFF));
    toServer.insert(toServer.end(), rate.begin(), rate.end());
    Talk(toServer, TTelnetSession::EncodeData(line));
    EXPECT_EQ(serverGot_.data, line);
    EXPECT_EQ(clientGot_.data, line);
    ASSERT_EQ(serverGot_.commands.size(), 1u);
    EXPECT_EQ(serverGot_.commands[0].first, cpSetBaudRate);
    EXPECT_EQ(BaudOfValue(serverGot_.commands[0].second), 0x0000FFFFu);
}

TEST_P(TelnetTest, AServerThatRefusesTheOptionIsSeenAsRefusing) {
    client_.Greeting();
    const auto got = FeedInPieces(client_, {kIac, kDont, kComPort}, GetParam());
    EXPECT_TRUE(got.reply.empty()) << "a refusal of what was offered is not answered";
    EXPECT_TRUE(client_.ComPortRefused());
    EXPECT_FALSE(client_.ComPortAgreed());
}

TEST_P(TelnetTest, ASignatureRequestIsAnsweredAndAnOverlongSubnegotiationDropped) {
    Talk(client_.Greeting(), server_.Greeting());
    Bytes toClient = TTelnetSession::ComPortCommand(cpSignature + kServerOffset);
    const Bytes overlong = TTelnetSession::ComPortCommand(cpSetBaudRate + kServerOffset, Bytes(300, 0x41));
    toClient.insert(toClient.end(), overlong.begin(), overlong.end());
    toClient.push_back(0x42);
    auto got = FeedInPieces(client_, toClient, GetParam());
    EXPECT_EQ(got.data, Bytes{0x42});
    EXPECT_TRUE(got.commands.empty());
    EXPECT_EQ(got.reply, TTelnetSession::ComPortCommand(cpSignature, Bytes{'T', 'e', 's', 's', 'e', 'l'}));
}

INSTANTIATE_TEST_SUITE_P(Pieces, TelnetTest, ::testing::Values(1, 2, 3, 1000));

}  // namespace
