#include "driver/engine/untEcrDrv.h"

#include <algorithm>
#include <optional>
#include <tuple>

#include "common/platform/Registry.h"
#include "common/platform/TickClock.h"
#include "driver/base/untError.h"
#include "driver/commands/CommandFactory.h"
#include "driver/commands/untStateTexts.h"
#include "driver/engine/untConst.h"
#include "driver/engine/untDriverPath.h"
#include "driver/link/EcrFrame.h"
#include "driver/link/untCodecs.h"

namespace {

constexpr std::int32_t kOutOfSequenceResult = 204;

// Opcode and data block: what tells two requests of one peer apart when their counters are the same.
Bytes RequestOf(const TCommand& request) {
    Bytes out(1 + request.Data.size());
    out[0] = request.Code;
    std::copy(request.Data.begin(), request.Data.end(), out.begin() + 1);
    return out;
}

std::string CountersDirectory(const std::string& chosen, const std::string& dir) {
    if (!chosen.empty()) return chosen;
    // Without a registered library the counters still need one fixed home, never the current directory:
    // counters that move with the working directory would put every peer out of sequence.
    return dir.empty() ? tessel::RegistryDirectory() : dir;
}

}  // namespace

TEcrDrv::TEcrDrv(TOptions options) {
    log_ = std::make_unique<TLogFile>();
    const std::string filesDirectory = DriverFilesDirectory();
    counters_ =
        options.Counters
            ? std::move(options.Counters)
            : TCounters::OpenInDirectory(CountersDirectory(options.CountersDirectory, filesDirectory));
    try {
        stats_ = std::make_unique<TLineStats>(
            TLineStats::FileIn(CountersDirectory(options.CountersDirectory, filesDirectory)));
    } catch (const std::exception& e) {
        log_->WriteError("Ошибка при открытии файла статистики линии.", e.what());
    }
    // Posts never wait for room: a port thread must not be held by a thread that does not pump.
    cmdWnd_ = std::make_unique<TCmdWnd>(
        [this](TCmdWnd& wnd) { Deliver(static_cast<std::int32_t>(wnd.LastCommand())); }, 0);
    holder_ = std::make_unique<TCommand>();
    received_ = std::make_unique<TCommands>(this);
    devices_ = std::make_unique<TDevices>(log_.get(), std::move(options.PortFactory));
    devices_->SetFrameHandler(
        [this](TDevice& device, const TEcrFrame& frame) { ReceiveFrame(device, frame); });
    devices_->SetPortGoneHandler(
        [this](TDevice& device, const std::string& reason) { PortLost(device, reason); });
    stored_ = std::make_unique<TCommands>(this);
    operation_.SetOnReleased([this] { OperationReleased(); });

    log_->SetEnabled(false);
    log_->SetFileName(filesDirectory + kDefaultLogFileName);
    {
        // The parameters and the devices from one reading of the settings store; nothing is written.
        std::optional<tessel::RegistryUpdate> reading;
        try {
            reading.emplace();
        } catch (const tessel::RegistryError&) {
            // Another hive's update is open on this thread: the values are read one by one.
        }
        ReadSettings();
        try {
            devices_->Load();
        } catch (const std::exception& e) {
            log_->WriteError("Ошибка при чтении логических устройств.", e.what());
        }
    }
    ClearResult();
}

TEcrDrv::TEcrDrv() : TEcrDrv(TOptions{}) {}

TEcrDrv::~TEcrDrv() {
    SaveSettings();
    // No port thread may stay blocked in a post to a window that is going away.
    cmdWnd_->Close();
    devices_.reset();
}

void TEcrDrv::ReadSettings() {
    try {
        tessel::Registry reg;
        if (!reg.OpenKey(kParamKey, false)) return;
        if (reg.ValueExists("Timeout")) Timeout = reg.ReadInteger("Timeout");
        if (reg.ValueExists("RepCount")) RepCount = reg.ReadInteger("RepCount");
        if (reg.ValueExists("SrcAddress"))
            SrcAddress = static_cast<std::uint8_t>(reg.ReadInteger("SrcAddress"));
        if (reg.ValueExists("LogEnabled")) log_->SetEnabled(reg.ReadBool("LogEnabled"));
        if (reg.ValueExists("LogFileName")) log_->SetFileName(reg.ReadString("LogFileName"));
        if (reg.ValueExists(kLogMaxSizeValue)) {
            const std::int32_t kb = reg.ReadInteger(kLogMaxSizeValue);
            log_->SetRotation(kb <= 0 ? 0 : std::uint64_t(kb) * 1024, TLogFile::kDefaultKeptFiles);
        }
    } catch (const std::exception&) {
        // Settings are a convenience: a bad value ends the reading and the defaults stand.
    }
}

void TEcrDrv::SaveSettings() noexcept {
    // One write of the settings store for the parameters and the devices, and none when they are as stored:
    // a terminal's flash storage wears with every rewrite.
    try {
        tessel::RegistryUpdate update;
        WriteSettings();
        devices_->Save();
        update.Commit();
    } catch (const std::exception& e) {
        log_->WriteError("Ошибка при сохранении настроек.", e.what());
    }
}

void TEcrDrv::WriteSettings() noexcept {
    try {
        tessel::Registry reg;
        reg.OpenKey(kParamKey, true);
        reg.WriteInteger("Timeout", Timeout);
        reg.WriteInteger("RepCount", RepCount);
        reg.WriteInteger("SrcAddress", SrcAddress);
        reg.WriteBool("LogEnabled", log_->Enabled());
        reg.WriteString("LogFileName", log_->FileName());
        reg.WriteInteger(kLogMaxSizeValue, static_cast<std::int32_t>(log_->MaxBytes() / 1024));
    } catch (const std::exception&) {
    }
}

void TEcrDrv::SetCommandResultCode(std::int32_t code) {
    CommandResultCode = code;
    CommandResultDescription = GetResultDescription(code);
}

std::int32_t TEcrDrv::ClearResult() {
    return SetResult(E_OK);
}

std::int32_t TEcrDrv::SetResult(std::int32_t code) {
    ResultCode = code;
    ResultDescription = GetDriverErrorText(code);
    return code;
}

std::int32_t TEcrDrv::ResultFromError(const std::exception& error) {
    const auto* driverError = dynamic_cast<const EDriverError*>(&error);
    ResultCode = driverError != nullptr ? driverError->ErrorCode() : E_UNKNOWN;
    ResultDescription = error.what();
    return ResultCode;
}

// ---- Sending ----

namespace {

constexpr std::uint8_t kSearchOpcode = 0xFA;
// Offsets in a frame body (the frame without its start byte and checksum).
enum : std::size_t { kBodyDst = 0, kBodyType = 2, kBodyC1 = 3, kBodyC2 = 4, kBodyPayload = 6 };

// The bytes a received frame took on the line: each 7Dh and 7Eh after the start byte went as two.
std::size_t WireSize(const Bytes& frame) {
    return frame.size() +
           static_cast<std::size_t>(std::count_if(frame.begin() + (frame.empty() ? 0 : 1), frame.end(),
                                                  [](std::uint8_t b) { return b == 0x7D || b == 0x7E; }));
}

// A counters file that cannot be written fails the operation: counters left behind on disk would make the
// next request a repetition of this one.
EDriverError CountersError(const std::exception& error) {
    return EDriverError(E_UNKNOWN, std::string("Ошибка записи файла счетчиков команд: ") + error.what());
}

}  // namespace

bool TEcrDrv::ArmAnswer(Bytes& body, const TCommand& command, int portNumber) {
    // The port threads count and match a frame under the same lock: either the answer to an earlier attempt
    // is matched already, or this attempt takes its counters before that answer moves them on.
    std::lock_guard lock(awaitMutex_);
    if (awaitedID_ != 0) return false;
    TCommand pair;
    pair.PortNumber = portNumber;
    pair.DstAddress = command.DstAddress;
    pair.CommandType = command.CommandType;
    if (command.CommandType == 0) {
        try {
            const auto counters = counters_->BeginRequest(portNumber, command.DstAddress,
                                                          Bytes(body.begin() + kBodyPayload, body.end()));
            pair.C1 = counters.c1;
            pair.C2 = counters.c2;
        } catch (const std::exception& e) {
            throw CountersError(e);
        }
    } else {
        counters_->CountersFor(pair);
    }
    body[kBodyC1] = pair.C1;
    body[kBodyC2] = pair.C2;
    awaitKey_ = {command.Code, command.SrcAddress, command.DstAddress, pair.C1, portNumber, true};
    portLost_ = false;
    answerFailure_.clear();
    answerEvent_.Reset();
    return true;
}

Bytes TEcrDrv::BuildTypedBody(int portNumber, bool sending) {
    auto command = CreateCommand(holder_->Code);
    command->Assign(*holder_);
    command->PortNumber = portNumber;
    command->ResultCode = CommandResultCode;
    if (command->CommandType == 0 || command->ResultCode == 0) command->LoadFromDriver(*this);
    Bytes body = command->BuildBody();
    // The receiver counts a frame in one byte: a longer block would arrive as garbage.
    if (body.size() > 6 + kMaxPayloadLength) throw EDriverError(E_INVALIDVALUE);
    if (sending) {
        if (!ArmAnswer(body, *command, portNumber)) return {};
    } else {
        // What would go out now, taking nothing.
        counters_->CountersFor(*command);
        body[kBodyC1] = command->C1;
        body[kBodyC2] = command->C2;
    }
    command->C1 = body[kBodyC1];
    command->C2 = body[kBodyC2];
    if (command->ResultCode != kOutOfSequenceResult && command->CommandType == 1) {
        const TPeerKey peer{portNumber, command->DstAddress};
        TPeerRequests& requests = peerRequests_[peer];
        // The answer answers the request the client loaded from that peer, else the peer's last one.
        requests.answered =
            loadedRequest_ && loadedRequest_->first == peer ? loadedRequest_->second : requests.executed;
        auto copy = CreateCommand(command->Code);
        copy->Assign(*command);
        std::lock_guard lock(*stored_);
        if (TCommand* old = stored_->FindStoredAnswer(portNumber, command->DstAddress)) stored_->Delete(old);
        stored_->Add(std::move(copy));
    }
    return body;
}

void TEcrDrv::SendBody(TDevice& device, const Bytes& body) {
    const Bytes frame = BuildFrame(body);
    device.Send(frame);
    holder_->Cadr = UnstuffedFrame(body);
    if (stats_) stats_->FrameSent(device.PortNumber(), body[kBodyDst], body[kBodyType] == 0, frame.size());
}

std::int32_t TEcrDrv::TypedPost() {
    try {
        TDevice& device = devices_->Current();
        device.SetDeviceEnabled(true);
        const Bytes body = BuildTypedBody(device.PortNumber(), true);
        if (!body.empty()) SendBody(device, body);
        return ClearResult();
    } catch (const std::exception& e) {
        return ResultFromError(e);
    }
}

std::int32_t TEcrDrv::RawPost() {
    try {
        TDevice& device = devices_->Current();
        device.SetDeviceEnabled(true);
        holder_->PortNumber = device.PortNumber();
        // The holder is a base command: header, opcode and for an answer its own result byte only.
        Bytes body = holder_->BuildBody();
        if (ArmAnswer(body, *holder_, device.PortNumber())) {
            holder_->C1 = body[kBodyC1];
            holder_->C2 = body[kBodyC2];
            SendBody(device, body);
        }
        return ClearResult();
    } catch (const std::exception& e) {
        return ResultFromError(e);
    }
}

void TEcrDrv::SetAwaiting(bool on) {
    std::int32_t stranded = 0;
    {
        std::lock_guard lock(awaitMutex_);
        awaiting_ = on;
        awaitKey_.armed = false;
        stranded = awaitedID_.exchange(0);
    }
    // An answer matched after the last wait ended (or a send that did not wait): nobody will consume it,
    // so it goes to the clients like any other received command.
    if (!on && stranded != 0) PostToWindow(stranded);
}

void TEcrDrv::PostToWindow(std::int32_t id) {
    if (cmdWnd_->Post(static_cast<std::uint32_t>(id))) return;
    // The queue is full or gone. A port thread must not wait for the engine's thread to pump (it holds the
    // devices' lock, and every other port's answers would wait behind it), and a command nobody is told of
    // could never be deleted: it goes. A register repeats a request that got no answer.
    {
        std::lock_guard lock(*received_);
        if (TCommand* command = received_->FindByID(id)) received_->Delete(command);
    }
    log_->WriteError(
        "Ошибка при передаче команды окну команд.",
        "Команда " + std::to_string(id) + " отброшена: очередь сообщений переполнена или недоступна.");
}

std::int32_t TEcrDrv::WaitForAnswer() {
    const auto timeout = static_cast<std::uint32_t>(Timeout < 0 ? 0 : Timeout);
    switch (answerEvent_.WaitFor(timeout)) {
        case tessel::WaitResult::Signaled: {
            std::string failure;
            {
                std::lock_guard lock(awaitMutex_);
                if (std::exchange(portLost_, false)) {
                    SetResult(E_PORTUNAVAILABLE);
                    // The port says which one it was and why: a network port names its address.
                    ResultDescription += ": " + std::exchange(portLostReason_, {});
                    return ResultCode;
                }
                failure = std::exchange(answerFailure_, {});
            }
            CommandID = awaitedID_.exchange(0);
            {
                std::lock_guard lock(*received_);
                TCommand* answer = received_->FindByID(CommandID);
                if (answer == nullptr) return SetResult(E_COMMANDNOTFOUND);
                if (!failure.empty()) {
                    received_->Delete(answer);
                    return ResultFromError(CountersError(std::runtime_error(failure)));
                }
                ClearResult();
                LoadCommand(*answer);
                received_->Delete(answer);
            }
            ResultCode = CommandResultCode;
            ResultDescription = CommandResultDescription;
            // Counted outside the list's lock: a port thread takes the awaited key's lock before the list's.
            if (ResultCode == kOutOfSequenceResult) CountForAwaited(TLineCounter::RefusedByRegister);
            return ResultCode;
        }
        case tessel::WaitResult::Timeout:
            CountForAwaited(TLineCounter::Timeouts);
            return SetResult(E_NOCONNECTION);
        case tessel::WaitResult::Abandoned:
            ResultCode = E_UNKNOWN;
            ResultDescription = "Ошибка при ожидании события: wrAbandoned.";
            return ResultCode;
        case tessel::WaitResult::Error:
            break;
    }
    ResultCode = E_UNKNOWN;
    ResultDescription = "Ошибка при ожидании события: wrError.";
    return ResultCode;
}

std::int32_t TEcrDrv::Exchange(std::uint8_t opcode) {
    // Without a single attempt nothing would be sent, yet the caller would read success.
    if (RepCount < 1) return SetResult(E_INVALIDVALUE);
    SetAwaiting(true);
    ClearResult();
    std::int32_t result = 0;
    bool refused = false;
    const std::uint32_t started = tessel::TickCount();
    for (std::int32_t attempt = 0; attempt < RepCount; ++attempt) {
        holder_->Code = opcode;
        holder_->CommandType = 0;
        holder_->SrcAddress = SrcAddress;
        try {
            holder_->DstAddress = devices_->Current().DstAddress();
        } catch (const std::exception& e) {
            result = ResultFromError(e);
            break;
        }
        // A later attempt goes out with the counters of the first (see TCounters::BeginRequest); an answer
        // to any of them is the awaited one, and one that came after the last wait ended is taken without
        // sending again.
        result = TypedPost();
        // A port that is missing or went away is not asked again: nothing can answer on it.
        if (result == E_PORTUNAVAILABLE) break;
        if (result != 0) continue;
        if (attempt > 0) CountForAwaited(TLineCounter::Repeats);
        result = WaitForAnswer();
        if (result == kOutOfSequenceResult && !refused) {
            // Refused as out of sequence: the register executed nothing, and its answer has put the counters
            // in step. The request goes once more, in sequence; only a second refusal reaches the client.
            refused = true;
            attempt = -1;
            continue;
        }
        if (result >= 0 || result == E_PORTUNAVAILABLE) break;
    }
    if (result >= 0 && stats_) {
        const auto [port, peer] = AwaitedPeer();
        stats_->ExchangeAnswered(port, peer, tessel::TicksSince(started));
    }
    SetAwaiting(false);
    return result;
}

std::int32_t TEcrDrv::SendAndWait(std::int32_t (TEcrDrv::*post)()) {
    SetAwaiting(true);
    // The answer replaces the holder; a refused request goes again as it was.
    const TCommand& h = *holder_;
    const auto sent = std::make_tuple(h.Code, h.CommandType, h.SrcAddress, h.DstAddress, h.Data);
    std::int32_t result = (this->*post)();
    if (result == 0 && WaitAnswer) {
        result = WaitForAnswer();
        if (result == kOutOfSequenceResult && std::get<1>(sent) == 0) {
            std::tie(holder_->Code, holder_->CommandType, holder_->SrcAddress, holder_->DstAddress,
                     holder_->Data) = sent;
            result = (this->*post)();
            if (result == 0) result = WaitForAnswer();
        }
    }
    SetAwaiting(false);
    return result;
}

std::int32_t TEcrDrv::SearchDevice() {
    holder_->Code = 0xFA;
    holder_->CommandType = 0;
    holder_->DstAddress = 0;
    holder_->SrcAddress = SrcAddress;
    return TypedPost();
}

std::int32_t TEcrDrv::SendCommand() {
    return SendAndWait(&TEcrDrv::TypedPost);
}

std::int32_t TEcrDrv::SendCadr() {
    return SendAndWait(&TEcrDrv::RawPost);
}

std::int32_t TEcrDrv::PostCadr() {
    return RawPost();
}

std::int32_t TEcrDrv::SendRawData() {
    try {
        devices_->Current().Send(RawData);
        return ClearResult();
    } catch (const std::exception& e) {
        return ResultFromError(e);
    }
}

// ---- Received commands ----

void TEcrDrv::LoadCommand(const TCommand& command) {
    try {
        devices_->SelectByNumber(command.LDNumber);
    } catch (const EDriverError&) {
        // The device that received it is gone or never had a number: the current one stays.
    }
    holder_->Assign(command);
    CommandResultCode = command.ResultCode;
    CommandResultDescription = command.ResultDescription;
    holder_->Code = command.Code;
    command.SaveToDriver(*this);
}

std::int32_t TEcrDrv::GetCommandParams() {
    std::lock_guard lock(*received_);
    const TCommand* command = received_->FindByID(CommandID);
    if (command == nullptr) return SetResult(E_COMMANDNOTFOUND);
    ClearResult();
    LoadCommand(*command);
    holder_->Cadr = command->Cadr;
    // The answer the client composes next answers this request.
    if (command->IsRequest())
        loadedRequest_.emplace(TPeerKey{command->PortNumber, command->SrcAddress}, RequestOf(*command));
    return ResultCode;
}

std::int32_t TEcrDrv::DeleteCommand() {
    std::lock_guard lock(*received_);
    TCommand* command = received_->FindByID(CommandID);
    if (command == nullptr) return SetResult(E_COMMANDNOTFOUND);
    received_->Delete(command);
    return ClearResult();
}

void TEcrDrv::ReceiveFrame(TDevice& device, const TEcrFrame& frame) {
    const Bytes& data = frame.Data();
    if (data.size() < 8) return;  // the assembler never completes such a frame
    auto command = CreateCommand(data[7]);
    command->SetFrame(data, frame.CrcOk());
    command->PortNumber = device.PortNumber();
    command->LDNumber = device.DeviceNumber();
    if (stats_) {
        // A frame whose checksum failed may name any peer: it is counted for the one awaited on its port.
        std::uint8_t peer = command->SrcAddress;
        if (!command->CrcOk) {
            std::lock_guard lock(awaitMutex_);
            if (awaiting_ && awaitKey_.port == command->PortNumber) peer = awaitKey_.dst;
        }
        stats_->FrameReceived(command->PortNumber, peer, command->CommandType == 0, command->CrcOk,
                              WireSize(data));
    }
    std::int32_t id = 0;
    bool awaited = false;
    bool stale = false;
    std::string countersError;
    {
        // Counting and matching are one step for an exchange about to repeat its request (see ArmAnswer).
        std::lock_guard awaitLock(awaitMutex_);
        const bool answer = command->CommandType != 0;
        try {
            stale = counters_->ApplyReceived(*command, answer && command->Code == kSearchOpcode);
        } catch (const std::exception& e) {
            countersError = e.what();
        }
        // Only the first answer that carries the request's C1 back, on the port it went out on: a register
        // that answered an attempt late answers the next attempt too, a late answer of an earlier request
        // carries an earlier C1, and another port's register may answer the same opcode at the same address.
        awaited = awaiting_ && awaitKey_.armed && answer && command->PortNumber == awaitKey_.port &&
                  command->Code == awaitKey_.code && command->SrcAddress == awaitKey_.dst &&
                  command->DstAddress == awaitKey_.src && command->C1 == awaitKey_.c1;
        if (awaited && !countersError.empty()) answerFailure_ = countersError;
        if (awaited || !stale) {
            std::lock_guard lock(*received_);
            id = received_->Add(std::move(command))->ID;
            if (awaited) {
                awaitedID_ = id;
                awaitKey_.armed = false;  // one answer per attempt; the copies that follow are not awaited
                answerEvent_.Set();
            }
        }
    }
    if (!countersError.empty()) log_->WriteError("Ошибка при обновлении счетчиков команд.", countersError);
    if (!awaited && stale) {
        // An answer to a request older than the newest one sent to that register: a second copy of an answer
        // taken already, or the late answer of a request given up for another. Nobody asked for it.
        log_->Write("Отброшен повторный ответ: " + BytesToHex(command->Cadr));
        if (stats_) stats_->Count(command->PortNumber, command->SrcAddress, TLineCounter::DroppedAnswers);
        return;
    }
    // Posted outside the locks: the engine's thread takes the list's lock to deliver.
    if (!awaited) PostToWindow(id);
}

std::pair<std::int32_t, std::uint8_t> TEcrDrv::AwaitedPeer() {
    std::lock_guard lock(awaitMutex_);
    return {awaitKey_.port, awaitKey_.dst};
}

void TEcrDrv::CountForAwaited(TLineCounter counter) {
    // The file is written outside the lock, which the port threads take for every frame.
    if (!stats_) return;
    const auto [port, peer] = AwaitedPeer();
    stats_->Count(port, peer, counter);
}

void TEcrDrv::PortLost(TDevice& device, const std::string& reason) {
    if (stats_) stats_->Count(device.PortNumber(), device.DstAddress(), TLineCounter::PortsLost);
    std::lock_guard lock(awaitMutex_);
    if (!awaiting_ || !awaitKey_.armed || awaitKey_.port != device.PortNumber()) return;
    awaitKey_.armed = false;
    portLost_ = true;
    portLostReason_ = reason;
    answerEvent_.Set();
}

void TEcrDrv::Announce(std::int32_t id) {
    if (OnCommand) OnCommand(*this, id);
}

void TEcrDrv::Deliver(std::int32_t id) {
    bool announce = false;
    {
        std::unique_lock waiting(deliveryMutex_);
        if (id != 0) waitingDeliveries_.push_back(id);
        wakePosted_ = false;
        if (waitingDeliveries_.empty()) return;
        // An automatic answer is an operation: it must not go out in the middle of another thread's
        // exchange. Taken or not, the window's thread goes on; OperationReleased wakes it when the lock
        // is let go.
        std::unique_lock operation(operation_, std::try_to_lock);
        if (!operation.owns_lock()) return;
        id = waitingDeliveries_.front();
        waitingDeliveries_.pop_front();
        // One delivery per message: a client may let the engine go inside the announcement, so nothing of
        // the engine is touched after it; the next one waiting gets a message of its own.
        if (!waitingDeliveries_.empty()) wakePosted_ = cmdWnd_->Post(0);
        waiting.unlock();
        announce = PreProcess(id);
    }
    if (announce) Announce(id);
}

void TEcrDrv::OperationReleased() {
    std::lock_guard lock(deliveryMutex_);
    if (waitingDeliveries_.empty() || wakePosted_) return;
    wakePosted_ = cmdWnd_ && cmdWnd_->Post(0);
}

bool TEcrDrv::PreProcess(std::int32_t id) {
    std::unique_ptr<TCommand> request;  // taken out of the list when the engine answers it itself
    std::unique_ptr<TCommand> answer;
    {
        std::lock_guard lock(*received_);
        TCommand* command = received_->FindByID(id);
        if (command == nullptr) return false;
        if (!command->CrcOk) {
            // Nobody is told of it and nobody could delete it: drop it so a noisy line cannot grow the list.
            log_->Write("Отброшен кадр с ошибкой CRC: " + BytesToHex(command->Cadr));
            received_->Delete(command);
            return false;
        }
        if (!command->IsRequest()) return true;
        TPeerRequests& requests = peerRequests_[{command->PortNumber, command->SrcAddress}];
        const Bytes asked = RequestOf(*command);
        if (command->ExecuteFlag) {
            // The stored answer answers an earlier request: a repetition of this one before the client has
            // answered it is announced, never answered with that.
            requests.executed = asked;
            requests.answered.clear();
            return true;
        }
        if (!command->OutOfSequence) {
            // Its counters say repetition. A register that gave up on a request and asks something else keeps
            // its counters too: that is a new request, to be executed.
            if (!requests.executed.empty() && requests.executed != asked) {
                command->ExecuteFlag = true;
                requests.executed = asked;
                requests.answered.clear();
                return true;
            }
            answer = StoredAnswerFor(*command);
            if (!answer) return true;
        }
        request = received_->Extract(command);
    }
    if (!answer) {
        answer = CreateCommand(request->Code);
        answer->CommandType = 1;
        answer->SrcAddress = SrcAddress;
        answer->DstAddress = request->SrcAddress;
        answer->ResultCode = kOutOfSequenceResult;
    }
    SendAutomaticAnswer(*answer, *request);
    return false;
}

std::unique_ptr<TCommand> TEcrDrv::StoredAnswerFor(const TCommand& request) {
    const auto requests = peerRequests_.find({request.PortNumber, request.SrcAddress});
    if (requests == peerRequests_.end() || requests->second.answered != RequestOf(request)) return nullptr;
    std::lock_guard lock(*stored_);
    const TCommand* stored = stored_->FindStoredAnswer(request.PortNumber, request.SrcAddress);
    if (stored == nullptr || stored->Code != request.Code) return nullptr;
    auto copy = CreateCommand(stored->Code);
    copy->Assign(*stored);
    return copy;
}

void TEcrDrv::SendAutomaticAnswer(TCommand& answer, const TCommand& request) {
    try {
        // The line the request came from, which need not be the client's current device.
        TDevice* device = &devices_->Current();
        for (int i = 0; i < devices_->Count(); ++i) {
            if (devices_->Items(i).DeviceNumber() == request.LDNumber) device = &devices_->Items(i);
        }
        device->SetDeviceEnabled(true);
        answer.PortNumber = device->PortNumber();
        counters_->CountersFor(answer);
        const Bytes frame = BuildFrame(answer.BuildBody());
        device->Send(frame);
        if (stats_) {
            stats_->FrameSent(answer.PortNumber, answer.DstAddress, false, frame.size());
            if (answer.ResultCode == kOutOfSequenceResult)
                stats_->Count(answer.PortNumber, answer.DstAddress, TLineCounter::RefusedByUs);
        }
    } catch (const std::exception& e) {
        log_->WriteError("Ошибка при автоматическом ответе на команду.", e.what());
    }
}

// ---- Properties of the current logical device ----

int TEcrDrv::PortNumber() const {
    return devices_->Current().PortNumber();
}
void TEcrDrv::SetPortNumber(int value) {
    devices_->Current().SetPortNumber(value);
    ClearResult();
}
int TEcrDrv::BaudRate() const {
    return devices_->Current().BaudRate();
}
void TEcrDrv::SetBaudRate(int value) {
    devices_->Current().SetBaudRate(value);
    ClearResult();
}
bool TEcrDrv::DeviceEnabled() const {
    return devices_->Current().DeviceEnabled();
}
void TEcrDrv::SetDeviceEnabled(bool value) {
    try {
        devices_->Current().SetDeviceEnabled(value);
        ClearResult();
    } catch (const std::exception& e) {
        ResultFromError(e);
    }
}
bool TEcrDrv::Fuel() const {
    return devices_->Current().Fuel();
}
void TEcrDrv::SetFuel(bool value) {
    devices_->Current().SetFuel(value);
    ClearResult();
}
std::uint8_t TEcrDrv::DstAddress() const {
    return devices_->Current().DstAddress();
}
void TEcrDrv::SetDstAddress(std::uint8_t value) {
    devices_->Current().SetDstAddress(value);
    ClearResult();
}
int TEcrDrv::LDCount() const {
    return devices_->Count();
}
int TEcrDrv::LDIndex() const {
    return devices_->CurrentIndex();
}
void TEcrDrv::SetLDIndex(int value) {
    devices_->SelectByIndex(value);
    ClearResult();
}
std::string TEcrDrv::LDName() const {
    return devices_->CurrentName();
}
void TEcrDrv::SetLDName(const std::string& value) {
    devices_->SetCurrentName(value);
    ClearResult();
}
int TEcrDrv::LDNumber() const {
    return devices_->CurrentNumber();
}
void TEcrDrv::SetLDNumber(int value) {
    devices_->SelectByNumber(value);
    ClearResult();
}

std::int32_t TEcrDrv::AddLD() {
    try {
        devices_->Add();
        return ClearResult();
    } catch (const std::exception& e) {
        return ResultFromError(e);
    }
}

std::int32_t TEcrDrv::DeleteLD() {
    try {
        devices_->Delete();
        return ClearResult();
    } catch (const std::exception& e) {
        return ResultFromError(e);
    }
}

// ---- The current command ----

Bytes TEcrDrv::CommandData() {
    const Bytes body = BuildTypedBody(devices_->Current().PortNumber(), false);
    return body.empty() ? body : BuildFrame(body);
}

std::string TEcrDrv::CommandDataHex() {
    return BytesToHex(CommandData());
}

void TEcrDrv::SetCommandDataHex(const std::string& hex) {
    holder_->Data = HexToBytes(hex);
}

std::string TEcrDrv::ECRModeDescription() const {
    return GetECRModeText(UModel, ECRMode);
}

std::string TEcrDrv::ECRAdvancedModeDescription() const {
    return GetECRAdvancedModeText(ECRAdvancedMode);
}

std::string TEcrDrv::ECRDeviceName() const {
    return GetECRDeviceName(DeviceNumber);
}
