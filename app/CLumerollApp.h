// The application object: chooses the mode from the command line, loads the settings, keeps
// configuration to one instance, and starts the chosen mode's windows or the settings dialog.
#pragma once

#include "app/command_line.h"
#include "app/saver_mode.h"
#include <optional>

#include "platform/com.h"
#include "platform/unique_handle.h"
#include "platform/win_app.h"
#include "settings/saver_settings.h"

namespace quillmere {

class CLumerollApp final : public CWinApp {
public:
    CLumerollApp();

    BOOL InitInstance() override;

    SaverSettings m_settings;
    SaverMode m_mode = SaverMode::Show;

private:
    BOOL RunConfiguration();
    BOOL StartShow();
    BOOL StartPreview(int32_t parent);

    // Held for the rest of the process once configuration has begun.
    UniqueKernelHandle m_configMutex;
    std::optional<ScopedComApartment> m_com;
};

// The program's one application object.
CLumerollApp& TheApp();

}  // namespace quillmere
