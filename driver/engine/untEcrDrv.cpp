#include "driver/engine/untEcrDrv.h"

#include "common/platform/Registry.h"
#include "driver/commands/CommandFactory.h"
#include "driver/commands/untStateTexts.h"
#include "driver/engine/untConst.h"
#include "driver/engine/untDriverPath.h"
#include "driver/engine/untError.h"
#include "driver/link/EcrFrame.h"
#include "driver/link/untCodecs.h"

namespace {

constexpr std::int32_t kOutOfSequenceResult = 204;

std::string CountersDirectory(const std::string& chosen) {
    if (!chosen.empty()) return chosen;
    const std::string dir = RegisteredDriverDirectory();
    // Without a registered library the counters still need one fixed home, never the current directory:
    // counters that move with the working directory would put every peer out of sequence.
    return dir.empty() ? tessel::RegistryDirectory() : dir;
}

}  // namespace

TEcrDrv::TEcrDrv(TOptions options) {
    log_ = std::make_unique<TLogFile>();
    counters_ = TCounters::OpenInDirectory(CountersDirectory(options.CountersDirectory));
    cmdWnd_ = std::make_unique<TCmdWnd>(
        [this](TCmdWnd& wnd) { Deliver(static_cast<std::int32_t>(wnd.LastCommand())); });
    holder_ = std::make_unique<TCommand>();
    received_ = std::make_unique<TCommands>(this);
    devices_ = std::make_unique<TDevices>(log_.get(), std::move(options.PortFactory));
    devices_->SetFrameHandler(
        [this](TDevice& device, const TEcrFrame& frame) { ReceiveFrame(device, frame); });
    stored_ = std::make_unique<TCommands>(this);

    log_->SetEnabled(false);
    log_->SetFileName(RegisteredDriverDirectory() + kDefaultLogFileName);
    ReadSettings();
    try {
        devices_->Load();
    } catch (const std::exception& e) {
        log_->WriteError("Ошибка при чтении логических устройств.", e.what());
    }
    ClearResult();
}

TEcrDrv::~TEcrDrv() {
    WriteSettings();
    devices_->Save();
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
    } catch (const std::exception&) {
        // Settings are a convenience: a bad value ends the reading and the defaults stand.
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
    } catch (const std::exception&) {
    }
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

Bytes TEcrDrv::BuildTypedFrame(int portNumber) {
    auto command = CreateCommand(holder_->Code);
    command->Assign(*holder_);
    command->PortNumber = portNumber;
    counters_->CountersFor(*command);
    command->ResultCode = CommandResultCode;
    if (command->CommandType == 0 || command->ResultCode == 0) command->LoadFromDriver(*this);
    const Bytes body = command->BuildBody();
    // The receiver counts a frame in one byte: a longer block would arrive as garbage.
    if (body.size() > 6 + kMaxPayloadLength) throw EDriverError(E_INVALIDVALUE);
    if (command->ResultCode != kOutOfSequenceResult && command->CommandType == 1) {
        auto copy = CreateCommand(command->Code);
        copy->Assign(*command);
        std::lock_guard lock(*stored_);
        if (TCommand* old = stored_->FindStoredAnswer(portNumber, command->DstAddress)) stored_->Delete(old);
        stored_->Add(std::move(copy));
    }
    {
        std::lock_guard lock(awaitMutex_);
        awaitKey_ = {command->Code, command->SrcAddress, command->DstAddress};
    }
    return BuildFrame(body);
}

std::int32_t TEcrDrv::TypedPost() {
    answerEvent_.Reset();
    try {
        TDevice& device = devices_->Current();
        device.SetDeviceEnabled(true);
        const Bytes frame = BuildTypedFrame(device.PortNumber());
        device.Send(frame);
        return ClearResult();
    } catch (const std::exception& e) {
        return ResultFromError(e);
    }
}

std::int32_t TEcrDrv::RawPost() {
    answerEvent_.Reset();
    try {
        TDevice& device = devices_->Current();
        device.SetDeviceEnabled(true);
        holder_->PortNumber = device.PortNumber();
        counters_->CountersFor(*holder_);
        // The holder is a base command: header, opcode and for an answer its own result byte only.
        const Bytes body = holder_->BuildBody();
        {
            std::lock_guard lock(awaitMutex_);
            awaitKey_ = {holder_->Code, holder_->SrcAddress, holder_->DstAddress};
        }
        device.Send(BuildFrame(body));
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
        stranded = awaitedID_.exchange(0);
    }
    // An answer matched after the last wait ended (or a send that did not wait): nobody will consume it,
    // so it goes to the clients like any other received command.
    if (!on && stranded != 0) PostToWindow(stranded);
}

void TEcrDrv::PostToWindow(std::int32_t id) {
    // A refused post loses only the announcement: the command stays in the received list.
    if (!cmdWnd_->Post(static_cast<std::uint32_t>(id))) {
        log_->WriteError("Ошибка при передаче команды окну команд.",
                         "Команда " + std::to_string(id) + " не объявлена: очередь сообщений недоступна.");
    }
}

std::int32_t TEcrDrv::WaitForAnswer() {
    const auto timeout = static_cast<std::uint32_t>(Timeout < 0 ? 0 : Timeout);
    switch (answerEvent_.WaitFor(timeout)) {
        case tessel::WaitResult::Signaled: {
            CommandID = awaitedID_.exchange(0);
            std::lock_guard lock(*received_);
            TCommand* answer = received_->FindByID(CommandID);
            if (answer == nullptr) return SetResult(E_COMMANDNOTFOUND);
            ClearResult();
            LoadCommand(*answer);
            received_->Delete(answer);
            ResultCode = CommandResultCode;
            ResultDescription = CommandResultDescription;
            return ResultCode;
        }
        case tessel::WaitResult::Timeout:
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
        result = TypedPost();
        if (result != 0) continue;
        result = WaitForAnswer();
        if (result >= 0) break;
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
    SetAwaiting(true);
    std::int32_t result = TypedPost();
    if (result == 0 && WaitAnswer) result = WaitForAnswer();
    SetAwaiting(false);
    return result;
}

std::int32_t TEcrDrv::SendCadr() {
    SetAwaiting(true);
    std::int32_t result = RawPost();
    if (result == 0 && WaitAnswer) result = WaitForAnswer();
    SetAwaiting(false);
    return result;
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
    try {
        counters_->ApplyReceived(*command);
    } catch (const std::exception& e) {
        log_->WriteError("Ошибка при обновлении счетчиков команд.", e.what());
    }
    std::int32_t id = 0;
    bool awaited = false;
    {
        std::lock_guard lock(*received_);
        const TCommand* added = received_->Add(std::move(command));
        id = added->ID;
        std::lock_guard awaitLock(awaitMutex_);
        if (awaiting_ && added->CommandType != 0 && added->Code == awaitKey_.code &&
            added->SrcAddress == awaitKey_.dst && added->DstAddress == awaitKey_.src) {
            awaitedID_ = id;
            answerEvent_.Set();
            awaited = true;
        }
    }
    // Posted outside the list's lock: the engine's thread takes that lock to deliver, and a full queue
    // makes the post wait for it.
    if (!awaited) PostToWindow(id);
}

void TEcrDrv::Announce(std::int32_t id) {
    if (OnCommand) OnCommand(*this, id);
}

void TEcrDrv::AnswerOutOfSequence(const TCommand& request) {
    holder_->CommandType = 1;
    holder_->Code = request.Code;
    holder_->SrcAddress = SrcAddress;
    holder_->DstAddress = request.SrcAddress;
    CommandResultCode = kOutOfSequenceResult;
    // Answer on the line the request came from, then leave the client's current device as it was.
    const int current = devices_->CurrentIndex();
    try {
        devices_->SelectByNumber(request.LDNumber);
    } catch (const EDriverError&) {
    }
    TypedPost();
    try {
        devices_->SelectByIndex(current);
    } catch (const EDriverError&) {
    }
}

void TEcrDrv::Deliver(std::int32_t id) {
    std::unique_ptr<TCommand> request;  // taken out of the list when the engine answers it itself
    std::unique_ptr<TCommand> storedAnswer;
    {
        std::lock_guard lock(*received_);
        TCommand* command = received_->FindByID(id);
        if (command == nullptr) return;
        if (!command->CrcOk) {
            // Nobody is told of it and nobody could delete it: drop it so a noisy line cannot grow the list.
            log_->Write("Отброшен кадр с ошибкой CRC: " + BytesToHex(command->Cadr));
            received_->Delete(command);
            return;
        }
        if (command->IsRequest() && !command->ExecuteFlag) {
            if (!command->OutOfSequence) {
                std::lock_guard storedLock(*stored_);
                if (const TCommand* stored =
                        stored_->FindStoredAnswer(command->PortNumber, command->SrcAddress)) {
                    storedAnswer = CreateCommand(stored->Code);
                    storedAnswer->Assign(*stored);
                }
            }
            if (command->OutOfSequence || storedAnswer) request = received_->Extract(command);
        }
    }
    if (!request) {
        Announce(id);
    } else if (request->OutOfSequence) {
        AnswerOutOfSequence(*request);
    } else {
        LoadCommand(*storedAnswer);
        TypedPost();
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
    return BuildTypedFrame(devices_->Current().PortNumber());
}

std::string TEcrDrv::CommandDataHex() {
    return BytesToHex(CommandData());
}

void TEcrDrv::SetCommandDataHex(const std::string& hex) {
    holder_->Data = HexToBytes(hex);
}

std::string TEcrDrv::ECRModeDescription() const {
    return GetECRModeText(static_cast<std::uint8_t>(UModel), ECRMode);
}

std::string TEcrDrv::ECRAdvancedModeDescription() const {
    return GetECRAdvancedModeText(ECRAdvancedMode);
}

std::string TEcrDrv::ECRDeviceName() const {
    return GetECRDeviceName(DeviceNumber);
}
