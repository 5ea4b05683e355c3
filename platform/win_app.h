// The application object: one static instance per program, started by the entry point, which
// derives the program's names, runs InitInstance and, when that asks for it, the message loop.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "settings/profile_store.h"

namespace quillmere {

class CWnd;

class CWinApp {
public:
    CWinApp();
    CWinApp(const CWinApp&) = delete;
    CWinApp& operator=(const CWinApp&) = delete;
    virtual ~CWinApp();

    // The program's one application object.
    static CWinApp* Get();

    // TRUE runs the message loop until the quit message; FALSE ends the process at once.
    virtual BOOL InitInstance() { return TRUE; }

    // Pumps messages until WM_QUIT; gives its exit code.
    virtual int Run();

    HINSTANCE Instance() const { return m_instance; }
    // The program file's name without folder and extension ("Tessaly").
    const std::wstring& ProgramName() const { return m_programName; }
    // No application title is set in the resources, so it is the program name.
    const std::wstring& AppName() const { return m_programName; }
    // The program's full path with the extension ".CHM".
    const std::wstring& HelpFilePath() const { return m_helpFilePath; }

    // Selects the registry under HKCU\software\<company>\<application name> as the profile.
    void SetRegistryKey(const std::wstring& company);
    ProfileStore& Profile();

    // Entry point's part: derive the names, run InitInstance and perhaps the loop.
    int Start(HINSTANCE instance);

    HWND MainWindow() const;

    // The window that owns the program's message boxes; cleared when it is destroyed.
    CWnd* m_pMainWnd = nullptr;

private:
    HINSTANCE m_instance = nullptr;
    std::wstring m_programName;
    std::wstring m_helpFilePath;
    std::unique_ptr<ProfileStore> m_profile;
};

// A string of the program's string table; empty when it is missing.
std::wstring LoadResourceString(UINT id);

}  // namespace quillmere
