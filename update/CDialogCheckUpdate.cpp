#include "update/CDialogCheckUpdate.h"

#include <shellapi.h>

#include <string>
#include <vector>

#include "platform/internet.h"
#include "platform/win_app.h"
#include "res/resource.h"
#include "update/reply_text.h"

namespace quillmere {

namespace {

void SetTimeouts(HINTERNET session) {
    DWORD timeout = ReplyLimits::kStepTimeoutMs;
    for (DWORD option : {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT,
                         INTERNET_OPTION_RECEIVE_TIMEOUT}) {
        InternetSetOptionW(session, option, &timeout, sizeof(timeout));
    }
}

std::optional<int32_t> StatusOf(HINTERNET reply) {
    wchar_t text[40] = {};  // 80 bytes
    DWORD size = sizeof(text);
    if (!HttpQueryInfoW(reply, HTTP_QUERY_STATUS_CODE, text, &size, nullptr)) {
        return std::nullopt;
    }
    const std::wstring_view status(text, size / sizeof(wchar_t));
    return ParseStatusCode(std::u16string_view(reinterpret_cast<const char16_t*>(status.data()),
                                               status.size()));
}

std::optional<uint64_t> AnnouncedLength(HINTERNET reply) {
    DWORD length = 0;
    DWORD size = sizeof(length);
    if (!HttpQueryInfoW(reply, HTTP_QUERY_CONTENT_LENGTH | HTTP_QUERY_FLAG_NUMBER, &length, &size,
                        nullptr)) {
        return std::nullopt;
    }
    return length;
}

// Reads what the server says is there, block by block, so that the deadline is checked between
// reads; a server that drips one byte at a time cannot hold the settings for minutes.
std::vector<char> ReadBody(HINTERNET reply, ULONGLONG deadline) {
    std::vector<char> body;
    char block[ReplyLimits::kReadBlock];
    for (;;) {
        DWORD available = 0;
        if (!InternetQueryDataAvailable(reply, &available, 0, 0)) {
            ThrowInternetFailure(GetLastError());
        }
        if (available == 0) {
            break;
        }
        DWORD got = 0;
        const DWORD ask = available < sizeof(block) ? available : sizeof(block);
        if (!InternetReadFile(reply, block, ask, &got)) {
            ThrowInternetFailure(GetLastError());
        }
        if (got == 0) {
            break;
        }
        body.insert(body.end(), block, block + got);
        if (body.size() > ReplyLimits::kMaxBodyBytes) {
            ThrowInternetFailure(ERROR_INTERNET_CONNECTION_ABORTED);
        }
        if (GetTickCount64() > deadline) {
            ThrowInternetFailure(ERROR_INTERNET_TIMEOUT);
        }
    }
    if (!BodyIsWhole(body.size(), AnnouncedLength(reply))) {
        ThrowInternetFailure(ERROR_INTERNET_CONNECTION_ABORTED);
    }
    return body;
}

// The body in the ANSI code page of this thread's locale, as one whole, so that a character split
// across two reads stays intact.
std::wstring AnsiToText(const std::vector<char>& bytes) {
    if (bytes.empty()) {
        return {};
    }
    const int size = static_cast<int>(bytes.size());
    const int length = MultiByteToWideChar(CP_THREAD_ACP, 0, bytes.data(), size, nullptr, 0);
    std::wstring text(static_cast<size_t>(length > 0 ? length : 0), L'\0');
    if (length > 0) {
        MultiByteToWideChar(CP_THREAD_ACP, 0, bytes.data(), size, text.data(), length);
    }
    return text;
}

}  // namespace

BOOL CDialogCheckUpdate::OnInitDialog() {
    CFadeDialog::OnInitDialog();
    CheckUpdate();
    return TRUE;
}

void CDialogCheckUpdate::CheckUpdate() {
    const ULONGLONG deadline = GetTickCount64() + ReplyLimits::kTotalTimeoutMs;
    const std::wstring agent = LoadResourceString(IDS_USER_AGENT);
    // Declared in this order, the reply is closed first and the session last.
    UniqueHInternet session(
        InternetOpenW(agent.c_str(), INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
    if (!session) {
        ThrowInternetFailure(GetLastError());
    }
    SetTimeouts(session.get());
    const std::wstring url = LoadResourceString(IDS_UPDATE_URL);
    // The request is opened in steps, so that the time-outs sit on the request itself: Wine's
    // network layer takes them only there, and a silent server would otherwise hold the settings
    // for as long as it likes before the first byte of its reply.
    URL_COMPONENTSW parts{};
    parts.dwStructSize = sizeof(parts);
    parts.dwHostNameLength = 1;
    parts.dwUrlPathLength = 1;
    parts.dwExtraInfoLength = 1;
    if (!InternetCrackUrlW(url.c_str(), 0, 0, &parts)) {
        ThrowInternetFailure(GetLastError());
    }
    const std::wstring host(parts.lpszHostName, parts.dwHostNameLength);
    const std::wstring object = std::wstring(parts.lpszUrlPath, parts.dwUrlPathLength) +
                                std::wstring(parts.lpszExtraInfo, parts.dwExtraInfoLength);
    UniqueHInternet connection(InternetConnectW(session.get(), host.c_str(), parts.nPort, nullptr,
                                                nullptr, INTERNET_SERVICE_HTTP, 0, 1));
    if (!connection) {
        ThrowInternetFailure(GetLastError());
    }
    UniqueHInternet reply(HttpOpenRequestW(connection.get(), L"GET", object.c_str(), nullptr,
                                           nullptr, nullptr, INTERNET_FLAG_TRANSFER_ASCII, 1));
    if (!reply) {
        ThrowInternetFailure(GetLastError());
    }
    SetTimeouts(reply.get());
    if (!HttpSendRequestW(reply.get(), nullptr, 0, nullptr, 0)) {
        ThrowInternetFailure(GetLastError());
    }
    std::wstring text;
    if (ShowsBody(StatusOf(reply.get()))) {
        text = AnsiToText(ReadBody(reply.get(), deadline));
    } else {
        text = LoadResourceString(IDS_UPDATE_ERROR);
    }
    SetDlgItemTextW(m_hWnd, IDC_UPDATE_TEXT, text.c_str());
}

void CDialogCheckUpdate::OnOpenWebSite() {
    const std::wstring page = LoadResourceString(IDS_PRODUCT_PAGE);
    ShellExecuteW(nullptr, nullptr, page.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

bool CDialogCheckUpdate::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result) {
    if (message == WM_COMMAND && LOWORD(wParam) == IDC_OPEN_WEBSITE &&
        HIWORD(wParam) == BN_CLICKED) {
        OnOpenWebSite();
        result = TRUE;
        return true;
    }
    return CFadeDialog::OnMessage(message, wParam, lParam, result);
}

}  // namespace quillmere
