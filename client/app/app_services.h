// Small services every part of the client shares: program folders, the HTML page frame, the
// client profile, currency names, file sizes for progress texts, the group walk, the program
// version and the start of a waiting program installer.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace zentra::db {
class Database;
}

namespace zentra::app {

// Every path of the client hangs off the program folder (the executable's folder unless
// --home or ZENTRA_HOME names another). Folder paths end with a separator.
struct ProgramFolders {
    std::filesystem::path home;
    std::string homeDir() const;  // with a trailing '/'
    std::filesystem::path database() const { return home / "Zentra.fdb"; }
    std::filesystem::path ini() const { return home / "Zentra.ini"; }
    std::filesystem::path productImages() const { return home / "ProdImg"; }
    std::filesystem::path productTexts() const { return home / "ProdDescr"; }
    std::filesystem::path installerFiles() const { return home / "NSIS"; }
    std::filesystem::path html() const { return home / "Html"; }
    std::filesystem::path newsImages() const { return html() / "NewsImages"; }
    std::filesystem::path banners() const { return html() / "Banners"; }
    std::filesystem::path orders() const { return home / "Orders"; }
    std::filesystem::path clientQuery() const { return home / "ClientQuery"; }
    std::filesystem::path appUpdates() const { return home / "AppUpdates"; }
    std::filesystem::path reportGenerator() const { return home / "KelvoReport"; }
    std::filesystem::path userManual() const { return home / "ClientHelp.pdf"; }
    std::filesystem::path lastUpdateLog() const { return home / "lastupdate.log"; }
};

// The folder of the running executable (from /proc/self/exe).
std::filesystem::path executableFolder();
// --home DIR, else ZENTRA_HOME, else the executable's folder.
ProgramFolders resolveFolders(const std::filesystem::path& homeOption);

// The frame of generated pages: head with the title, style part, body, foot.
struct HtmlFrame {
    std::string styleTemplate;    // links "template.css"
    std::string styleUpdateList;  // links "updatelist.css"
    static HtmlFrame forFolder(const ProgramFolders& folders);
    std::string page(std::string_view title, std::string_view body, bool updateList = false) const;
};

// Who the client is and how prices are shaped; absent values are "no identifier, no discount,
// all client groups". Read from the "Профиль клиента" section of Zentra.ini.
struct ClientProfile {
    std::string clientId;
    int discountType = 0;
    double discount = 0;
    std::string clientGroups;
    static ClientProfile fromIni(const std::filesystem::path& ini);
};

// 0 "у.е.", 1 "р.", 2 "$", otherwise empty.
std::string currencyName(int index);

// "1023 байт", "1 Кб", "1,5 Мб", "2 Гб" (divisor 1024; "#.##" with the decimal comma).
std::string formatFileSize(uint64_t bytes);

// Every group below `id` at any depth, depth-first, comma-separated without blanks.
std::string collectSubdirectories(db::Database& db, long long id);

// "major.minor" of this build.
std::string programVersion();
// The version that follows: minor 99 rolls over to (major + 1).0.
std::string nextVersion(std::string_view version);

// Starts the program installer at `file` with the program file and the program folder as its
// two arguments; true when it started.
using InstallerLauncher =
    std::function<bool(const std::filesystem::path& file, const std::vector<std::string>& args)>;

// Starts the waiting installer of the next version from AppUpdates, if there is one.
bool checkAppUpdate(const ProgramFolders& folders, std::string_view version,
                    const std::filesystem::path& programFile, const InstallerLauncher& launch);

}  // namespace zentra::app
