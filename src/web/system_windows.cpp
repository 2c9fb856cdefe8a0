// The workbench's system calls on Windows.
#include <windows.h>
#include <bcrypt.h>
#include <shellapi.h>

#include "host/utf16.h"
#include "web/system.h"

namespace quill::web {

bool fillRandom(std::span<unsigned char> buffer) {
    return buffer.size() <= ULONG_MAX && BCryptGenRandom(nullptr, buffer.data(), static_cast<ULONG>(buffer.size()),
                                                         BCRYPT_USE_SYSTEM_PREFERRED_RNG) == 0;
}

BrowserResult openBrowser(const std::string& address) {
    std::u16string wide;
    if (!utf16FromUtf8(address, wide)) return BrowserResult::failed;
    const std::wstring text(wide.begin(), wide.end());
    // Values above 32 mean the handler was started.
    const auto result = reinterpret_cast<INT_PTR>(
        ShellExecuteW(nullptr, L"open", text.c_str(), nullptr, nullptr, SW_SHOWNORMAL));
    return result > 32 ? BrowserResult::opened : BrowserResult::failed;
}

}  // namespace quill::web
