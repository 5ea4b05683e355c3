// A profile store in memory that reads stored bytes by the registry's rules and records every
// access, so that tests can see the order of reads and writes.
#pragma once

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "settings/profile_store.h"
#include "settings/stored_value.h"

namespace quillmere {

struct StoredValue {
    std::string type;  // "REG_DWORD", "REG_SZ", ... as written
    std::vector<uint8_t> bytes;
};

class MemoryProfileStore final : public ProfileStore {
public:
    void Put(std::u16string name, std::string type, std::vector<uint8_t> bytes) {
        m_values[std::move(name)] = {std::move(type), std::move(bytes)};
    }

    int32_t ReadInteger(std::u16string_view, std::u16string_view name,
                          int32_t fallback) override {
        m_log.push_back(u"read " + std::u16string(name));
        const auto it = m_values.find(std::u16string(name));
        if (it == m_values.end()) {
            return fallback;
        }
        return DecodeStoredInteger(it->second.bytes).value_or(fallback);
    }

    std::u16string ReadString(std::u16string_view, std::u16string_view name,
                                    const std::u16string& fallback) override {
        m_log.push_back(u"read " + std::u16string(name));
        const auto it = m_values.find(std::u16string(name));
        return it == m_values.end() ? fallback : DecodeStoredString(it->second.bytes);
    }

    bool WriteInteger(std::u16string_view, std::u16string_view name, int32_t value) override {
        m_log.push_back(u"write " + std::u16string(name));
        if (m_failWrites) {
            return false;
        }
        Put(std::u16string(name), "REG_DWORD", EncodeStoredInteger(value));
        return true;
    }

    bool WriteString(std::u16string_view, std::u16string_view name,
                            std::u16string_view value) override {
        m_log.push_back(u"write " + std::u16string(name));
        if (m_failWrites) {
            return false;
        }
        Put(std::u16string(name), "REG_SZ", EncodeStoredString(value));
        return true;
    }

    std::map<std::u16string, StoredValue> m_values;
    std::vector<std::u16string> m_log;
    bool m_failWrites = false;
};

}  // namespace quillmere
