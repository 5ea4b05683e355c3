// Where the settings live: one section of named values. The program uses the registry; the unit
// tests use a store in memory with the same reading rules.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace quillmere {

class ProfileStore {
public:
    virtual ~ProfileStore() = default;

    // A read gives the stored value, or `fallback` when there is none that can be read.
    virtual int32_t ReadInteger(std::u16string_view section, std::u16string_view name,
                                  int32_t fallback) = 0;
    virtual std::u16string ReadString(std::u16string_view section, std::u16string_view name,
                                            const std::u16string& fallback) = 0;

    // A write reports whether it succeeded; the settings ignore the answer.
    virtual bool WriteInteger(std::u16string_view section, std::u16string_view name,
                                 int32_t value) = 0;
    virtual bool WriteString(std::u16string_view section, std::u16string_view name,
                                    std::u16string_view value) = 0;
};

}  // namespace quillmere
