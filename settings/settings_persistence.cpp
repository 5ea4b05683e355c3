#include "settings/settings_persistence.h"

namespace quillmere {

namespace {

template <typename T>
void ReadInt(ProfileStore& store, std::u16string_view name, T& field, T fallback) {
    field = static_cast<T>(
        store.ReadInteger(kSettingSection, name, static_cast<int32_t>(fallback)));
}

template <typename T>
void WriteInt(ProfileStore& store, std::u16string_view name, T value) {
    store.WriteInteger(kSettingSection, name, static_cast<int32_t>(value));
}

}  // namespace

void LoadSettings(SaverSettings& s, ProfileStore& store,
                  const std::function<std::u16string()>& defaultFolder) {
    const SaverSettings d = SaverSettings::Defaults({});
    ReadInt(store, u"BGColor", s.BGColor, d.BGColor);
    ReadInt(store, u"BGAlpha", s.BGAlpha, d.BGAlpha);
    ReadInt(store, u"BGCountFade", s.BGCountFade, d.BGCountFade);
    ReadInt(store, u"FGColorKey", s.FGColorKey, d.FGColorKey);
    ReadInt(store, u"ImageMaxHeight", s.ImageMaxHeight, d.ImageMaxHeight);
    ReadInt(store, u"ImageMaxWidth", s.ImageMaxWidth, d.ImageMaxWidth);
    ReadInt(store, u"TimerInterval", s.TimerInterval, d.TimerInterval);
    ReadInt(store, u"ImageCountHide", s.ImageCountHide, d.ImageCountHide);
    ReadInt(store, u"ImageCountAppear", s.ImageCountAppear, d.ImageCountAppear);
    ReadInt(store, u"ImageCountShow", s.ImageCountShow, d.ImageCountShow);
    ReadInt(store, u"ImageCountDisappear", s.ImageCountDisappear, d.ImageCountDisappear);
    ReadInt(store, u"ImageMaxAlpha", s.ImageMaxAlpha, d.ImageMaxAlpha);
    ReadInt(store, u"ImageShowRandom", s.ImageShowRandom, d.ImageShowRandom);
    const std::u16string folder = defaultFolder ? defaultFolder() : std::u16string();
    s.ImageFolderPath = store.ReadString(kSettingSection, u"ImageFolderPath", folder);
    ReadInt(store, u"IncludeSubFolder", s.IncludeSubFolder, d.IncludeSubFolder);
}

void SaveSettings(const SaverSettings& s, ProfileStore& store) {
    WriteInt(store, u"BGColor", s.BGColor);
    WriteInt(store, u"BGAlpha", s.BGAlpha);
    WriteInt(store, u"FGColorKey", s.FGColorKey);
    WriteInt(store, u"BGCountFade", s.BGCountFade);
    WriteInt(store, u"ImageMaxHeight", s.ImageMaxHeight);
    WriteInt(store, u"ImageMaxWidth", s.ImageMaxWidth);
    WriteInt(store, u"TimerInterval", s.TimerInterval);
    WriteInt(store, u"ImageCountHide", s.ImageCountHide);
    WriteInt(store, u"ImageCountAppear", s.ImageCountAppear);
    WriteInt(store, u"ImageCountShow", s.ImageCountShow);
    WriteInt(store, u"ImageCountDisappear", s.ImageCountDisappear);
    WriteInt(store, u"ImageMaxAlpha", s.ImageMaxAlpha);
    WriteInt(store, u"ImageShowRandom", s.ImageShowRandom);
    store.WriteString(kSettingSection, u"ImageFolderPath", s.ImageFolderPath);
    WriteInt(store, u"IncludeSubFolder", s.IncludeSubFolder);
}

}  // namespace quillmere
