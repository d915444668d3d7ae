#include <gtest/gtest.h>

#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <tuple>
#include <typeinfo>

#include "driver/base/untError.h"
#include "driver/commands/CommandFactory.h"
#include "driver/link/untCodecs.h"
#include "driver/link/untCommand.h"

namespace {

// A class with a layout: request block of 3 bytes, answer block of 3 bytes after the result byte.
class TLayoutCommand : public TCommand {
  public:
    explicit TLayoutCommand(int* freed = nullptr) : freed_(freed) {}
    ~TLayoutCommand() override {
        if (freed_ != nullptr) ++*freed_;
    }
    int RequestLength() const override { return 4; }
    int AnswerLength() const override { return 5; }
    Bytes EncodeRequest() const override { return request; }
    Bytes EncodeAnswer() const override { return {0xAA, 0xBB}; }
    void DecodeRequest(const Bytes& data) override { decoded = data; }
    void DecodeAnswer(const Bytes& data) override {
        decoded = data;
        value = DecodeInt(data, 4, 1);  // beyond the fixed part: fails on a block of exactly 3 bytes
    }

    Bytes request = BytesOf("\x11\x22");
    Bytes decoded;
    std::int64_t value = 0;

  private:
    int* freed_;
};

TEST(Command, BuildBody) {
    struct Case {
        std::uint8_t type;
        std::int32_t result;
        Bytes tail;  // from the length byte on
    };
    const Case cases[] = {{0, 3, {3, 0xFA, 0x11, 0x22}},
                          {1, 0, {4, 0xFA, 0x00, 0xAA, 0xBB}},
                          {1, 3, {2, 0xFA, 0x03}},
                          {1, 0x104, {2, 0xFA, 0x04}},
                          {2, 0, {4, 0xFA, 0x00, 0xAA, 0xBB}}};
    for (const auto& c : cases) {
        TLayoutCommand cmd;
        cmd.DstAddress = 2, cmd.SrcAddress = 1, cmd.C1 = 5, cmd.C2 = 6, cmd.Code = 0xFA;
        cmd.CommandType = c.type, cmd.ResultCode = c.result;
        Bytes expected = {2, 1, c.type, 5, 6};
        AppendBytes(expected, c.tail);
        EXPECT_EQ(cmd.BuildBody(), expected) << int(c.type) << " " << c.result;
    }
    TCommand base;
    base.DstAddress = 7, base.SrcAddress = 1, base.C1 = 0x10, base.C2 = 0x20, base.Code = 0xFA;
    EXPECT_EQ(base.BuildBody(), (Bytes{7, 1, 0, 0x10, 0x20, 1, 0xFA}));
    TLayoutCommand big;
    big.request = Bytes(254, 0x55);
    EXPECT_EQ(big.BuildBody()[5], 255);
    big.request.push_back(0x55);  // the length byte would wrap
    EXPECT_THROW(big.BuildBody(), EDriverError);
}

Bytes Frame(std::uint8_t type, std::uint8_t length, const Bytes& data) {
    Bytes f = {0x7E, 0x01, 0x02, type, 0x31, 0x32, length, 0xFA};
    AppendBytes(f, data);
    return f;
}

TEST(Command, SetFrameFillsHeaderDataAndResult) {
    struct Case {
        Bytes frame;
        bool crcOk;
        std::int32_t result;
        const char* description;
        Bytes data;
    };
    const Case cases[] = {
        {Frame(0, 3, {9, 8, 0xC1, 0xC2}), true, 0, "", {9, 8}},
        {Frame(1, 2, {0, 0xC1, 0xC2}), true, 0, "Ошибок нет", {}},
        {Frame(1, 1, {0xC1, 0xC2}), true, 0, "", {}},  // no result byte: nothing to report
        {Frame(1, 3, {3, 0x44, 0xC1, 0xC2}), true, 3, "Авария ЭКЛЗ", {3, 0x44}},
        {Frame(1, 2, {10, 0xC1, 0xC2}), true, 10, "Ошибка ККМ: 10", {10}},
        {Frame(1, 3, {0, 0x44, 0xC1, 0xC2}), false, -15, "Ошибка CRC кадра", {0, 0x44}},
        {Frame(0, 9, {1, 2}), true, 0, "", {1, 2}},  // cut short
        {Frame(0, 0, {1, 2}), true, 0, "", {}},
    };
    for (const auto& p : cases) {
        TCommand c;
        c.SetFrame(p.frame, p.crcOk);
        EXPECT_EQ(c.Cadr, p.frame);
        EXPECT_EQ(c.CrcOk, p.crcOk);
        EXPECT_EQ((Bytes{c.DstAddress, c.SrcAddress, c.CommandType, c.C1, c.C2, c.DataLength, c.Code}),
                  Bytes(p.frame.begin() + 1, p.frame.begin() + 8));
        EXPECT_EQ(c.ResultCode, p.result) << BytesToHex(p.frame);
        EXPECT_EQ(c.ResultDescription, p.description);
        EXPECT_EQ(c.Data, p.data);
    }
    const Bytes full = Frame(0, 1, {});
    for (std::size_t size = 0; size < full.size(); ++size) {
        TCommand c;
        const Bytes cut(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(size));
        EXPECT_THROW(c.SetFrame(cut, true), EDataLength) << size;
        EXPECT_EQ(c.Cadr, cut);
    }
}

// A block shorter than the layout, or a decoder that fails, stops decoding quietly where it got.
TEST(Command, LayoutChecksAbandonDecodingQuietly) {
    struct Case {
        Bytes frame;
        bool decoded;
        std::int64_t value;
        const char* message;
    };
    const Case cases[] = {{Frame(0, 3, {1, 2}), false, 0, "Неверная длина данных"},
                          {Frame(0, 4, {1, 2, 3}), true, 0, ""},
                          {Frame(1, 3, {0, 1, 2}), false, 0, "Неверная длина данных"},
                          {Frame(1, 5, {0, 1, 2, 3}), true, 0, "Invalid index"},
                          {Frame(1, 6, {0, 1, 2, 3, 4}), true, 4, ""}};
    for (const auto& c : cases) {
        TLayoutCommand cmd;
        std::string message;
        ASSERT_NO_THROW(message = cmd.SetFrame(c.frame, true));
        EXPECT_EQ(message, c.message) << BytesToHex(c.frame);
        EXPECT_EQ(!cmd.decoded.empty(), c.decoded) << BytesToHex(c.frame);
        EXPECT_EQ(cmd.value, c.value);
        EXPECT_EQ(cmd.ResultDescription, cmd.IsAnswer() ? "Ошибок нет" : "");
    }
}

TEST(Command, AssignCopiesAllButCadrAndOwner) {
    TCommands list;
    TCommand* source = list.Add(std::make_unique<TCommand>());
    source->SetFrame(Frame(1, 3, {5, 6, 0, 0}), true);
    source->OutOfSequence = source->ExecuteFlag = source->RollbackFlag = true;
    source->PortNumber = 4, source->LDNumber = 9;
    TCommand copy;
    copy.Assign(*source);
    EXPECT_EQ(copy.ID, source->ID);
    EXPECT_EQ(copy.BuildBody(), source->BuildBody());
    EXPECT_EQ(std::tie(copy.DataLength, copy.Data, copy.ResultDescription, copy.PortNumber, copy.LDNumber),
              std::tie(source->DataLength, source->Data, source->ResultDescription, source->PortNumber,
                       source->LDNumber));
    EXPECT_TRUE(copy.CrcOk && copy.OutOfSequence && copy.ExecuteFlag && copy.RollbackFlag);
    EXPECT_TRUE(copy.Cadr.empty() && copy.Owner() == nullptr);
}

TEST(Command, IdentifiersAreUniqueAcrossThreads) {
    const TCommand first, second;
    EXPECT_EQ(second.ID, first.ID + 1);
    std::mutex m;
    std::set<std::int32_t> ids;
    std::vector<std::jthread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            std::vector<std::int32_t> mine;
            for (int i = 0; i < 5000; ++i) mine.push_back(CreateCommand(0x11)->ID);
            const std::lock_guard guard(m);
            ids.insert(mine.begin(), mine.end());
        });
    }
    threads.clear();
    EXPECT_EQ(ids.size(), 20000u);
    EXPECT_GT(*ids.begin(), second.ID);
}

TEST(Commands, OwnershipLookupAndMoves) {
    int engineStandIn = 0;
    auto* engine = reinterpret_cast<TEcrDrv*>(&engineStandIn);
    int freed = 0;
    {
        TCommands a(engine), b;
        TCommand* x = a.Add(std::make_unique<TLayoutCommand>(&freed));
        TCommand* y = a.Add(std::make_unique<TLayoutCommand>(&freed));
        x->PortNumber = 1, x->DstAddress = 5, y->PortNumber = 2, y->DstAddress = 5;
        EXPECT_EQ(x->Engine(), engine);
        EXPECT_EQ(a.FindByID(y->ID), y);
        EXPECT_EQ(a.FindByID(-7), nullptr);
        EXPECT_EQ(a.FindStoredAnswer(2, 5), y);
        EXPECT_EQ(a.FindStoredAnswer(2, 6), nullptr);
        EXPECT_THROW(a.Items(2), std::out_of_range);

        x->SetOwner(&a);  // same list: stays where it is
        EXPECT_EQ(a.Items(0), x);
        x->SetOwner(&b);
        EXPECT_EQ(x->Owner(), &b);
        EXPECT_EQ(a.Count(), 1u);
        EXPECT_THROW(x->SetOwner(nullptr), std::logic_error);

        std::unique_ptr<TCommand> taken = b.Extract(x);
        ASSERT_EQ(taken.get(), x);
        EXPECT_EQ(x->Owner(), nullptr);
        EXPECT_EQ(x->Engine(), nullptr);
        EXPECT_THROW(x->SetOwner(&a), std::logic_error);
        EXPECT_FALSE(b.Delete(x));
        EXPECT_THROW(b.Add(std::unique_ptr<TCommand>(y)), std::logic_error);  // y stays a's
        a.Add(std::move(taken));
        {
            const std::lock_guard guard(a);
            EXPECT_TRUE(a.Delete(y));
        }
        EXPECT_EQ(freed, 1);
        b.Add(std::make_unique<TLayoutCommand>(&freed));
        a.Clear();
        EXPECT_EQ(freed, 2);
    }
    EXPECT_EQ(freed, 3);  // the list's end frees what it still holds
}

TEST(CommandFactory, EveryOpcodeGetsAnObjectWithItsCode) {
    for (int op = 0; op < 256; ++op) EXPECT_EQ(CreateCommand(static_cast<std::uint8_t>(op))->Code, op);
    const auto unlisted = CreateCommand(0xFA);
    const TCommand& object = *unlisted;
    EXPECT_EQ(typeid(object), typeid(TCommand));
}

}  // namespace
