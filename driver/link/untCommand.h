#pragma once
// The protocol command object: one frame sent or received, with its header values, data block, result and
// the flags of the sequence check; and TCommands, the owning list in which the engine keeps received
// commands and stored answers.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "common/platform/Bytes.h"
#include "common/platform/SyncObjects.h"

class TCommands;
class TECRDrvData;
class TEcrDrv;

// Base of every command class. The base class sends an empty data block and decodes no fields; a received
// block stays in Data whatever the class.
//
// Objects are not copyable: every object has its own ID. Use Assign to copy the fields of another one.
class TCommand {
  public:
    // Takes the next identifier of the process-wide counter (the first object of the process gets 1; safe
    // from any thread). Every other field starts at 0, false or empty, and the object is in no list.
    TCommand();
    // An object in a list is owned by that list, so it is destroyed only when the list frees it (Delete,
    // Clear or the list's own end); it can never outlive its place in the list.
    virtual ~TCommand();
    TCommand(const TCommand&) = delete;
    TCommand& operator=(const TCommand&) = delete;

    std::int32_t ID = 0;
    std::uint8_t C1 = 0;
    std::uint8_t C2 = 0;
    std::uint8_t DstAddress = 0;
    std::uint8_t SrcAddress = 0;
    std::uint8_t CommandType = 0;  // 0 request; anything else is an answer
    std::uint8_t DataLength = 0;   // the length byte of a received frame
    Bytes Data;                    // data block after the opcode (an answer's result byte removed on 0)
    Bytes Cadr;                    // the whole received frame, unstuffed; empty if never received
    std::uint8_t Code = 0;
    bool CrcOk = false;
    bool OutOfSequence = false;
    bool ExecuteFlag = false;
    bool RollbackFlag = false;
    std::int32_t ResultCode = 0;
    std::int32_t PortNumber = 0;
    std::int32_t LDNumber = 0;
    std::string ResultDescription;

    // The list that owns this object, or nullptr.
    TCommands* Owner() const { return owner_; }
    // Moves an object that is in a list to `list`; no effect when `list` is already its owner. The object
    // stays valid. Fails with std::logic_error when the object is in no list (its owner is whoever holds it:
    // use TCommands::Add) or when `list` is nullptr (use TCommands::Extract to take it out).
    void SetOwner(TCommands* list);
    // The engine of the owner list, or nullptr.
    TEcrDrv* Engine() const;

    bool IsAnswer() const { return CommandType != 0; }
    bool IsRequest() const { return CommandType == 0; }

    // Length byte a request must at least reach, opcode included.
    virtual int RequestLength() const { return 1; }
    // Length byte an answer must at least reach, opcode and result byte included.
    virtual int AnswerLength() const { return 2; }
    // Request fields to the request data block.
    virtual Bytes EncodeRequest() const { return {}; }
    // Answer fields to the answer data block, without the result byte.
    virtual Bytes EncodeAnswer() const { return {}; }
    // Data block to fields. The block is at least as long as RequestLength()/AnswerLength() demand; reading
    // past its end is the codecs' business (missing bytes count as 0).
    virtual void DecodeRequest(const Bytes& data);
    virtual void DecodeAnswer(const Bytes& data);
    // Fields to the engine's parameter record (request fields for a request, answer fields for an answer).
    virtual void SaveToDriver(TECRDrvData& data) const;
    // The parameter record to fields, the same split.
    virtual void LoadFromDriver(const TECRDrvData& data);
    // Copies the header, Data, flags, result and place (ID included; not Cadr or Owner). Subclasses copy
    // their own fields after the base's when `source` is of their class.
    virtual void Assign(const TCommand& source);

    // The frame body: Dst, Src, type, C1, C2, payload length, opcode, data block. A request carries
    // EncodeRequest(); an answer carries its result byte alone when ResultCode is not 0, else 00h and
    // EncodeAnswer(). A payload (opcode and block) beyond what the length byte can count (255) fails with
    // EDriverError(E_INVALIDVALUE) instead of going out with a wrapped length; the tighter limit of the
    // frame is the caller's to check.
    Bytes BuildBody() const;

    // Fills the object from an unstuffed received frame (start byte at 0, checksum at the end): Cadr, CrcOk,
    // the header, Code, and Data (the DataLength - 1 bytes from offset 8, as far as the frame goes). A bad
    // checksum sets ResultCode -15 with its text and decodes nothing more. Otherwise the block is checked and
    // decoded (an answer first takes its result byte and text); a failure there abandons decoding, leaves
    // the object as far as it got and is not raised: its message is returned so the caller can log it
    // (empty when decoding completed).
    // A frame shorter than 8 bytes fails with EDataLength after Cadr and CrcOk are set; nothing else
    // leaves this function.
    std::string SetFrame(const Bytes& frame, bool crcOk);

  private:
    friend class TCommands;
    TCommands* owner_ = nullptr;
};

// Owning list of command objects, with a critical section of its own for its callers and the engine that
// created it. The list does not lock by itself: callers lock around lookups and insertions that may race.
class TCommands {
  public:
    explicit TCommands(TEcrDrv* engine = nullptr) : engine_(engine) {}
    // Frees every item still in the list.
    ~TCommands();
    TCommands(const TCommands&) = delete;
    TCommands& operator=(const TCommands&) = delete;

    TEcrDrv* Engine() const { return engine_; }

    // The list's critical section (re-entrant); lock/unlock/try_lock make it Lockable for std::lock_guard.
    void Lock() { lock_.Enter(); }
    void Unlock() { lock_.Leave(); }
    void lock() { lock_.lock(); }
    void unlock() { lock_.unlock(); }
    bool try_lock() { return lock_.try_lock(); }

    std::size_t Count() const { return items_.size(); }
    // The item at `index`; fails with std::out_of_range beyond Count().
    TCommand* Items(std::size_t index) const;

    // Appends `item` and becomes its owner; returns it. Fails with std::invalid_argument for nullptr and with
    // std::logic_error, leaving the object to its list, for an object that is in a list already.
    TCommand* Add(std::unique_ptr<TCommand> item);
    // Takes `item` out of the list and hands it over with no owner; nullptr when it is not in this list.
    std::unique_ptr<TCommand> Extract(TCommand* item);
    // Frees `item` if it is in this list; returns whether it was.
    bool Delete(TCommand* item);

    // The first item with this ID, or nullptr.
    TCommand* FindByID(std::int32_t id) const;
    // The first item kept for this port and destination address, or nullptr.
    TCommand* FindStoredAnswer(std::int32_t port, std::uint8_t address) const;

    // Frees every item.
    void Clear();

  private:
    TEcrDrv* engine_;
    tessel::CriticalSection lock_;
    std::vector<std::unique_ptr<TCommand>> items_;
};
