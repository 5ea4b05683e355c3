#include "platform/internet.h"

namespace quillmere {

namespace {

std::wstring FormatFrom(DWORD flags, const void* source, DWORD code) {
    wchar_t* text = nullptr;
    const DWORD length = FormatMessageW(
        flags | FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS, source, code,
        LANG_NEUTRAL, reinterpret_cast<LPWSTR>(&text), 0, nullptr);
    if (length == 0 || text == nullptr) {
        return {};
    }
    std::wstring message(text, length);
    LocalFree(text);
    return message;
}

}  // namespace

std::wstring DescribeInternetError(DWORD code) {
    if (HMODULE wininet = GetModuleHandleW(L"wininet.dll")) {
        std::wstring text = FormatFrom(FORMAT_MESSAGE_FROM_HMODULE, wininet, code);
        if (!text.empty()) {
            return text;
        }
    }
    return FormatFrom(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, code);
}

void ThrowInternetFailure(DWORD code) {
    throw Failure(DescribeInternetError(code));
}

}  // namespace quillmere
