// What the update check makes of the server's reply, apart from the network layer: the status
// decides between the body and the fixed error text, and the body is bounded and must be whole.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace quillmere {

struct ReplyLimits {
    // A body beyond this is treated like a lost connection, so a server cannot exhaust memory.
    static constexpr size_t kMaxBodyBytes = size_t{1} << 20;
    // Each of connect, send and receive; and the whole exchange, which also bounds a drip.
    static constexpr uint32_t kStepTimeoutMs = 15'000;
    static constexpr uint32_t kTotalTimeoutMs = 30'000;
    // One read asks for at most this much.
    static constexpr size_t kReadBlock = 1024;
};

// The status line's code as the network layer gives it in text: leading blanks, digits. Nothing
// when there are no digits.
std::optional<int32_t> ParseStatusCode(std::u16string_view text);

// Only a status of exactly 200 shows the body; any other, or none, shows the fixed error text.
inline bool ShowsBody(std::optional<int32_t> status) {
    return status.has_value() && *status == 200;
}

// A body cut short by a clean close reads like a normal end; the length the reply announced,
// where it announced one, tells them apart.
inline bool BodyIsWhole(size_t received, std::optional<uint64_t> announced) {
    return !announced.has_value() || received == *announced;
}

}  // namespace quillmere
