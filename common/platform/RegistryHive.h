#pragma once
// The settings store's hive as the POSIX backend keeps it: the tree of keys and values, the rules for their
// names, and the hive's text form (a .reg-like file) with its parser and formatter. No file access here.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "common/platform/Bytes.h"
#include "common/platform/CodePage.h"
#include "common/platform/Registry.h"

namespace tessel::registry_detail {

// The system registry's own limits, so that nothing stored here could not be stored there.
inline constexpr std::size_t kMaxKeyNameChars = 255;
inline constexpr std::size_t kMaxValueNameChars = 16383;
inline constexpr std::size_t kMaxKeyDepth = 512;

using ValueData = std::variant<std::string, std::uint32_t, Bytes>;

struct RegValue {
    std::string name;
    ValueData data;
};

struct KeyNode {
    std::string name;
    std::vector<RegValue> values;                    // in creation order
    std::vector<std::unique_ptr<KeyNode>> children;  // sorted case-insensitively

    KeyNode* FindChild(std::string_view childName) const {
        const auto it = LowerBound(childName);
        return it != children.end() && SameTextNoCase((*it)->name, childName) ? it->get() : nullptr;
    }
    KeyNode& AddChild(std::string childName) {
        const auto it = LowerBound(childName);
        auto child = std::make_unique<KeyNode>();
        child->name = std::move(childName);
        return **children.insert(it, std::move(child));
    }
    bool RemoveChild(std::string_view childName) {
        const auto it = LowerBound(childName);
        if (it == children.end() || !SameTextNoCase((*it)->name, childName)) return false;
        children.erase(it);
        return true;
    }
    RegValue* FindValue(std::string_view valueName) {
        const auto it = std::find_if(values.begin(), values.end(),
                                     [&](const RegValue& v) { return SameTextNoCase(v.name, valueName); });
        return it != values.end() ? &*it : nullptr;
    }
    const RegValue* FindValue(std::string_view valueName) const {
        const auto it = std::find_if(values.begin(), values.end(),
                                     [&](const RegValue& v) { return SameTextNoCase(v.name, valueName); });
        return it != values.end() ? &*it : nullptr;
    }

  private:
    std::vector<std::unique_ptr<KeyNode>>::const_iterator LowerBound(std::string_view childName) const {
        return std::lower_bound(children.begin(), children.end(), childName,
                                [](const std::unique_ptr<KeyNode>& node, std::string_view n) {
                                    return CompareTextNoCase(node->name, n) < 0;
                                });
    }
};

// The type of a stored value.
RegValueType TypeOf(const ValueData& data);

// A key name: 1..255 characters of well-formed UTF-8, with neither separators nor control characters (key
// names appear bare in section lines).
bool ValidKeyName(std::string_view name);
// A value name: 0..16383 characters of well-formed UTF-8.
bool ValidValueName(std::string_view name);
// A path of valid key names, at most 512 deep.
bool ValidKeyPath(const std::vector<std::string>& parts);

template <class Node>
Node* FindKey(Node& root, const std::vector<std::string>& parts) {
    Node* node = &root;
    for (const auto& p : parts) {
        node = node->FindChild(p);
        if (node == nullptr) return nullptr;
    }
    return node;
}

// The hive's text: a header line, then a section per key in tree order (the root only when it holds values),
// every value in creation order. Any name and value, line breaks and malformed UTF-8 included, reads back
// unchanged through ParseHive.
std::string FormatHive(const KeyNode& root);
// The tree of a hive's text. Fails with RegistryError naming `file` and the line for any fault: unknown
// text, a bad name, a duplicate key or value, a malformed value, keys nested too deeply.
std::unique_ptr<KeyNode> ParseHive(std::string_view text, const std::string& file);

}  // namespace tessel::registry_detail
