// Loading and saving the fifteen settings through a profile store, in the orders the stored data
// and other processes reading it beside us rely on.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "settings/profile_store.h"
#include "settings/saver_settings.h"

namespace quillmere {

inline constexpr std::u16string_view kSettingSection = u"Setting";

// Reads every value once, each falling back to its default. `defaultFolder` is asked right before
// the folder is read (the shell's My Pictures; empty when the shell cannot name it). Values are
// kept exactly as stored: the code that uses a value guards against what it cannot use.
void LoadSettings(SaverSettings& settings, ProfileStore& store,
                  const std::function<std::u16string()>& defaultFolder);

// Writes all fifteen values once each; failed writes go unreported.
void SaveSettings(const SaverSettings& settings, ProfileStore& store);

}  // namespace quillmere
