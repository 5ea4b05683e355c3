#include "platform/registry_profile_store.h"

#include <windows.h>

#include <vector>

#include "platform/unique_handle.h"
#include "platform/wide_text.h"
#include "settings/stored_value.h"

namespace quillmere {

namespace {

constexpr REGSAM kAccess = KEY_READ | KEY_WRITE;

UniqueHKey CreateSubKey(HKEY parent, const std::wstring& name) {
    UniqueHKey key;
    if (RegCreateKeyExW(parent, name.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, kAccess, nullptr,
                        key.put(), nullptr) != ERROR_SUCCESS) {
        key.release();
    }
    return key;
}

// Opened afresh for every access, so that other processes' writes are seen value by value. A
// read creates the key chain when it is missing, but never a value.
UniqueHKey OpenSection(const std::u16string& company, const std::u16string& application,
                       std::u16string_view section) {
    UniqueHKey software;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, L"software", 0, kAccess, software.put()) !=
        ERROR_SUCCESS) {
        software.release();
        return {};
    }
    UniqueHKey companyKey = CreateSubKey(software.get(), ToWide(company));
    if (!companyKey) {
        return {};
    }
    UniqueHKey appKey = CreateSubKey(companyKey.get(), ToWide(application));
    if (!appKey) {
        return {};
    }
    return CreateSubKey(appKey.get(), ToWide(section));
}

}  // namespace

int32_t RegistryProfileStore::ReadInteger(std::u16string_view section, std::u16string_view name,
                                            int32_t fallback) {
    const UniqueHKey key = OpenSection(m_company, m_application, section);
    if (!key) {
        return fallback;
    }
    // Whatever the value's type: up to four bytes are its value, more do not fit.
    uint8_t bytes[4] = {};
    DWORD size = sizeof(bytes);
    if (RegQueryValueExW(key.get(), ToWide(name).c_str(), nullptr, nullptr, bytes, &size) !=
        ERROR_SUCCESS) {
        return fallback;
    }
    return DecodeStoredInteger(std::span<const uint8_t>(bytes, size)).value_or(fallback);
}

std::u16string RegistryProfileStore::ReadString(std::u16string_view section,
                                                      std::u16string_view name,
                                                      const std::u16string& fallback) {
    const UniqueHKey key = OpenSection(m_company, m_application, section);
    if (!key) {
        return fallback;
    }
    const std::wstring valueName = ToWide(name);
    DWORD size = 0;
    if (RegQueryValueExW(key.get(), valueName.c_str(), nullptr, nullptr, nullptr, &size) !=
        ERROR_SUCCESS) {
        return fallback;
    }
    // The type is not looked at and nothing is expanded; the text ends at its first NUL.
    std::vector<uint8_t> data(size);
    if (RegQueryValueExW(key.get(), valueName.c_str(), nullptr, nullptr, data.data(), &size) !=
        ERROR_SUCCESS) {
        return fallback;
    }
    data.resize(size);
    return DecodeStoredString(data);
}

bool RegistryProfileStore::WriteInteger(std::u16string_view section, std::u16string_view name,
                                           int32_t value) {
    const UniqueHKey key = OpenSection(m_company, m_application, section);
    if (!key) {
        return false;
    }
    const std::vector<uint8_t> bytes = EncodeStoredInteger(value);
    return RegSetValueExW(key.get(), ToWide(name).c_str(), 0, REG_DWORD, bytes.data(),
                          static_cast<DWORD>(bytes.size())) == ERROR_SUCCESS;
}

bool RegistryProfileStore::WriteString(std::u16string_view section,
                                              std::u16string_view name,
                                              std::u16string_view value) {
    const UniqueHKey key = OpenSection(m_company, m_application, section);
    if (!key) {
        return false;
    }
    const std::vector<uint8_t> bytes = EncodeStoredString(value);
    return RegSetValueExW(key.get(), ToWide(name).c_str(), 0, REG_SZ, bytes.data(),
                          static_cast<DWORD>(bytes.size())) == ERROR_SUCCESS;
}

}  // namespace quillmere
