#pragma once
// The devices a search found: one record per answer, and the owning list the search dialog keeps.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// One device that answered the search.
struct TSearchECR {
    std::uint8_t Port = 0;      // COM number
    bool Fuel = false;          // found with the fuel kind
    std::uint8_t BaudRate = 0;  // speed code, 1..8
    std::uint8_t Address = 0;   // network address of the device
    std::string Description;
    std::int32_t ID = 0;  // unique in the process; 0 until the record enters a list
    // The network address the port is mapped to ("tcp://10.0.0.7:4001"); empty for a serial port.
    std::string PortAddress;
};

// A new identifier: 1 for the first call in the process, then counting up. Any thread.
std::int32_t NewSearchECRID();

// Owns its entries; references to them stay valid until the entry is removed or the list cleared. Not
// synchronised: the owner guards it.
class TSearchECRs {
  public:
    // Stores a copy of `device`; a record without an ID (0) gets a new one, one that has an ID keeps it, so a
    // copy of a found device refers to the same device. Returns the stored entry.
    TSearchECR& Add(const TSearchECR& device);
    // The entry with `id`, or nullptr.
    TSearchECR* FindByID(std::int32_t id);
    const TSearchECR* FindByID(std::int32_t id) const;

    std::size_t Count() const { return items_.size(); }
    // Entry `index` in the order of adding; std::out_of_range beyond the list.
    const TSearchECR& Item(std::size_t index) const;
    // Copies of every entry, in the order of adding.
    std::vector<TSearchECR> Snapshot() const;
    void Clear() { items_.clear(); }

  private:
    std::vector<std::unique_ptr<TSearchECR>> items_;
};
