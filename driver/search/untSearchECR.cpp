#include "driver/search/untSearchECR.h"

#include <atomic>
#include <stdexcept>

std::int32_t NewSearchECRID() {
    static std::atomic<std::int32_t> last{0};
    return ++last;
}

TSearchECR& TSearchECRs::Add(const TSearchECR& device) {
    auto entry = std::make_unique<TSearchECR>(device);
    if (entry->ID == 0) entry->ID = NewSearchECRID();
    items_.push_back(std::move(entry));
    return *items_.back();
}

TSearchECR* TSearchECRs::FindByID(std::int32_t id) {
    for (const auto& item : items_)
        if (item->ID == id) return item.get();
    return nullptr;
}

const TSearchECR* TSearchECRs::FindByID(std::int32_t id) const {
    return const_cast<TSearchECRs*>(this)->FindByID(id);
}

const TSearchECR& TSearchECRs::Item(std::size_t index) const {
    if (index >= items_.size()) throw std::out_of_range("no found device at this index");
    return *items_[index];
}

std::vector<TSearchECR> TSearchECRs::Snapshot() const {
    std::vector<TSearchECR> copies;
    copies.reserve(items_.size());
    for (const auto& item : items_) copies.push_back(*item);
    return copies;
}
