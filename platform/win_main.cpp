// The program's entry: hands control to its one application object.
#include <windows.h>

#include "platform/win_app.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    quillmere::CWinApp* app = quillmere::CWinApp::Get();
    return app != nullptr ? app->Start(instance) : 0;
}
