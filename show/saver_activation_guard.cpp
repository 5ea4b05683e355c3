#include "show/saver_activation_guard.h"

#include <windows.h>

#include "app/CLumerollApp.h"
#include "platform/unique_handle.h"
#include "show/CSaverWnd.h"

namespace quillmere {

namespace {

using UniqueHook = UniqueHandle<NullHandleTraits<HHOOK, UnhookWindowsHookEx>>;

thread_local UniqueHook t_hook;

LRESULT CALLBACK ActivationHook(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_ACTIVATE && TheApp().m_mode == SaverMode::Show) {
        HWND active = GetActiveWindow();
        HWND activating = reinterpret_cast<HWND>(wParam);
        // Activating nothing is the program losing the focus to another one: that goes through.
        if (active != nullptr && activating != nullptr && active != activating &&
            dynamic_cast<CSaverWnd*>(CWnd::FromHandle(active)) != nullptr) {
            return 1;  // prevented, as the active show window asks
        }
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

}  // namespace

void SaverActivationGuard::Install() {
    if (!t_hook) {
        t_hook.reset(SetWindowsHookExW(WH_CBT, &ActivationHook, nullptr, GetCurrentThreadId()));
    }
}

}  // namespace quillmere
