// The settings' home: HKEY_CURRENT_USER\software\<company>\<application>\<section>.
#pragma once

#include <string>

#include "settings/profile_store.h"

namespace quillmere {

class RegistryProfileStore final : public ProfileStore {
public:
    RegistryProfileStore(std::u16string company, std::u16string application)
        : m_company(std::move(company)), m_application(std::move(application)) {}

    int32_t ReadInteger(std::u16string_view section, std::u16string_view name,
                          int32_t fallback) override;
    std::u16string ReadString(std::u16string_view section, std::u16string_view name,
                                    const std::u16string& fallback) override;
    bool WriteInteger(std::u16string_view section, std::u16string_view name,
                         int32_t value) override;
    bool WriteString(std::u16string_view section, std::u16string_view name,
                            std::u16string_view value) override;

private:
    std::u16string m_company;
    std::u16string m_application;
};

}  // namespace quillmere
