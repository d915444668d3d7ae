#pragma once
// What a device search tries: the ports, the speeds and the kinds of register, each a fixed list of items
// with a check state, kept in the user's settings.

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

// A failure of the search: a parameter check, a refused driver call or a result code of the driver.
class ESearchError : public std::runtime_error {
  public:
    explicit ESearchError(const std::string& message, std::int32_t code = 0)
        : std::runtime_error(message), code_(code) {}
    // The driver's result code, or 0 for a failure that carries none.
    std::int32_t ErrorCode() const { return code_; }

  private:
    std::int32_t code_;
};

// The three lists; item i (counted from 0) of Ports is port i + 1, of BaudRates speed code i + 1, of
// ECRTypes kind i + 1 (1 ordinary, 2 fuel).
enum class TSearchList { Ports, ECRTypes, BaudRates };

struct TSearchItem {
    std::string Text;
    bool Checked = false;
};

inline constexpr std::size_t kSearchPortCount = 32;
inline constexpr std::size_t kSearchECRTypeCount = 2;
inline constexpr std::size_t kSearchBaudRateCount = 8;

// Settings keys of the three lists (HKEY_CURRENT_USER); one DWORD value per item, named by its text.
extern const char* const kSearchPortsKey;
extern const char* const kSearchECRTypesKey;
extern const char* const kSearchBaudRatesKey;

// Text of a speed code: "1200" for 1 ... "115200" for 8; "Недопустимое значение" for any other code.
std::string BaudRateText(std::int32_t code);

class TSearchParams {
  public:
    // Starts with the defaults.
    TSearchParams();

    // Every port and every speed checked; of the kinds only the ordinary one.
    void SetDefaults();
    // The defaults, then the check states stored in the settings: the p-th value of a list's key sets item
    // p, whatever its name; missing keys and values leave the defaults, and so does a value that is not a
    // DWORD. Throws tessel::RegistryError when the settings file is damaged or unreadable.
    void Load();
    // Writes every item of every list (1 checked, 0 not), creating the keys. Throws tessel::RegistryError.
    void Save() const;
    void Assign(const TSearchParams& other) { *this = other; }
    // Throws ESearchError with "Нет выбранных портов для поиска.", "Нет выбранных скоростей для поиска." or
    // "Нет выбранных типов ККМ для поиска." for the first list, in that order, that has nothing checked.
    void Validate() const;

    // The items of a list, in order; the lists never change length.
    const std::vector<TSearchItem>& Items(TSearchList list) const;
    std::size_t Count(TSearchList list) const { return Items(list).size(); }
    // Throw std::out_of_range for an index beyond the list.
    bool Checked(TSearchList list, std::size_t index) const;
    void SetChecked(TSearchList list, std::size_t index, bool checked);
    // Checks or unchecks every item of a list.
    void SetAll(TSearchList list, bool checked);
    bool AnyChecked(TSearchList list) const;

  private:
    std::vector<TSearchItem>& MutableItems(TSearchList list);

    std::vector<TSearchItem> ports_;
    std::vector<TSearchItem> ecrTypes_;
    std::vector<TSearchItem> baudRates_;
};
