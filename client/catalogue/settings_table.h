// The numbered settings kept in TCONST: which are enciphered, the default written when one is
// missing, and the description stored with it. The one list that the settings services, the
// database maker and the tests share.
#pragma once

#include <optional>
#include <span>
#include <string_view>

namespace zentra::catalogue {

struct SettingInfo {
    int id;
    bool enciphered;
    // Default written when the setting is missing; null when nothing is written.
    const char* defaultValue;
    const char* description;  // FNAME written with the default (UTF-8)
};

std::span<const SettingInfo> settingsTable();
const SettingInfo* findSetting(int id);

// Setting numbers the code refers to by name.
namespace setting {
inline constexpr int kUpdateDate = 0;
inline constexpr int kClientName = 1;
inline constexpr int kClientDiscount = 6;
inline constexpr int kStructureVersion = 7;
inline constexpr int kCheckInternet = 8;
inline constexpr int kCatalogueName = 11;
inline constexpr int kSplashPicture = 12;
inline constexpr int kUpdateMode = 23;
inline constexpr int kOrderRecipient = 25;
inline constexpr int kNewDays = 31;
inline constexpr int kCurrency = 33;
inline constexpr int kShowAnalogues = 36;
}  // namespace setting

// The structure version this program works with (setting 7).
inline constexpr std::string_view kStructureVersion = "1.0";

}  // namespace zentra::catalogue
