#include "app_services.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>

#include "database.h"
#include "ini_file.h"
#include "statement.h"
#include "statements.h"
#include "text/format_settings.h"

namespace fs = std::filesystem;

namespace zentra::app {

std::string ProgramFolders::homeDir() const {
    std::string s = home.string();
    if (s.empty() || s.back() != '/') s += '/';
    return s;
}

fs::path executableFolder() {
    std::error_code ec;
    const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    if (ec) return fs::current_path();
    return exe.parent_path();
}

ProgramFolders resolveFolders(const fs::path& homeOption) {
    ProgramFolders f;
    if (!homeOption.empty()) {
        f.home = fs::absolute(homeOption);
    } else if (const char* env = std::getenv("ZENTRA_HOME"); env && *env) {
        f.home = fs::absolute(env);
    } else {
        f.home = executableFolder();
    }
    f.home = f.home.lexically_normal();
    if (f.home.has_filename() == false && f.home.has_parent_path()) f.home = f.home.parent_path();
    return f;
}

HtmlFrame HtmlFrame::forFolder(const ProgramFolders& folders) {
    const std::string html = folders.html().string() + "/";
    auto style = [&](const char* css) {
        return std::string("</title>\r\n<link href=\"") + html + css +
               "\" rel=\"stylesheet\" type=\"text/css\">\r\n<meta http-equiv=\"Content-Type\" "
               "content=\"text/html; charset=windows-1251\">\r\n</head>\r\n<body>\r\n";
    };
    return HtmlFrame{style("template.css"), style("updatelist.css")};
}

std::string HtmlFrame::page(std::string_view title, std::string_view body, bool updateList) const {
    return "<html>\r\n<head>\r\n<title>" + std::string(title) +
           (updateList ? styleUpdateList : styleTemplate) + std::string(body) +
           "\r\n</body>\r\n</html>\r\n";
}

ClientProfile ClientProfile::fromIni(const fs::path& ini) {
    const IniFile file(ini);
    ClientProfile p;
    const std::string section = "Профиль клиента";
    p.clientId = file.read(section, "Код клиента");
    const auto& fs = text::FormatSettings::russian();
    if (auto t = text::parseMachineInteger(file.read(section, "Тип скидки"))) {
        p.discountType = (*t == 1 || *t == 2) ? static_cast<int>(*t) : 0;
    }
    if (auto d = fs.parseNumber(file.read(section, "Скидка"))) p.discount = *d;
    p.clientGroups = file.read(section, "Группы клиентов");
    return p;
}

std::string currencyName(int index) {
    switch (index) {
        case 0: return "у.е.";
        case 1: return "р.";
        case 2: return "$";
        default: return {};
    }
}

namespace {

// FormatFloat("#.##"): at most two decimals, no trailing zeros, no leading zero dropped.
std::string hashPattern(double v) {
    std::string s = text::FormatSettings::russian().formatFixed(v, 2);
    while (!s.empty() && s.back() == '0' && s.find(',') != std::string::npos) s.pop_back();
    if (!s.empty() && s.back() == ',') s.pop_back();
    return s;
}

}  // namespace

std::string formatFileSize(uint64_t bytes) {
    constexpr double kKb = 1024.0, kMb = 1024.0 * 1024, kGb = 1024.0 * 1024 * 1024;
    if (bytes < 1024) return std::to_string(bytes) + " байт";
    if (bytes <= 1048576) return hashPattern(bytes / kKb) + " Кб";
    if (bytes <= 1073741824ull) return hashPattern(bytes / kMb) + " Мб";
    return hashPattern(bytes / kGb) + " Гб";
}

namespace {

void collect(db::Statement& children, long long id, std::string& out, int depth) {
    if (depth > 1000) return;  // a cycle in damaged data must not recurse forever
    children.setParam("pparent", id);
    children.execute();
    std::vector<long long> ids;
    while (children.fetch()) ids.push_back(children.value(0).toInt());
    for (long long child : ids) {
        if (child == id) continue;
        out += (out.empty() ? "" : ",") + std::to_string(child);
        collect(children, child, out, depth + 1);
    }
}

}  // namespace

std::string collectSubdirectories(db::Database& db, long long id) {
    db::Statement children(db, catalogue::sql::kChildGroups);
    std::string out;
    collect(children, id, out, 0);
    return out;
}

std::string programVersion() {
    return std::to_string(ZENTRA_VERSION_MAJOR) + "." + std::to_string(ZENTRA_VERSION_MINOR);
}

std::string nextVersion(std::string_view version) {
    const size_t dot = version.find('.');
    const auto major = text::parseMachineInteger(version.substr(0, dot));
    const auto minor = dot == std::string_view::npos ? std::optional<long long>(0)
                                                     : text::parseMachineInteger(version.substr(dot + 1));
    if (!major || !minor) return std::string(version);
    if (*minor == 99) return std::to_string(*major + 1) + ".0";
    return std::to_string(*major) + "." + std::to_string(*minor + 1);
}

namespace {

// "zt-upd-*.exe", case as Windows would match it.
bool isInstallerName(const std::string& name) {
    std::string low = name;
    for (auto& c : low) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return low.size() >= 11 && low.rfind("zt-upd-", 0) == 0 &&
           low.compare(low.size() - 4, 4, ".exe") == 0;
}

// The version must stand on its own: "3.7" is in "zt-upd-3.7.exe" but not in "zt-upd-3.70.exe".
bool containsVersion(const std::string& name, const std::string& version) {
    for (size_t at = name.find(version); at != std::string::npos; at = name.find(version, at + 1)) {
        const bool digitBefore = at > 0 && std::isdigit(static_cast<unsigned char>(name[at - 1]));
        const size_t end = at + version.size();
        const bool digitAfter =
            end < name.size() && std::isdigit(static_cast<unsigned char>(name[end]));
        if (!digitBefore && !digitAfter) return true;
    }
    return false;
}

}  // namespace

bool checkAppUpdate(const ProgramFolders& folders, std::string_view version,
                    const fs::path& programFile, const InstallerLauncher& launch) {
    std::error_code ec;
    std::vector<std::string> names;
    for (fs::directory_iterator it(folders.appUpdates(), ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name.empty() || name[0] == '.' || it->is_directory(ec)) continue;
        if (isInstallerName(name)) names.push_back(name);
    }
    if (names.empty()) return false;
    // Directory order is arbitrary; the choice must not be.
    std::sort(names.begin(), names.end());
    const std::string next = nextVersion(version);
    for (const auto& name : names) {
        if (!containsVersion(name, next)) continue;
        return launch(folders.appUpdates() / name, {programFile.string(), folders.homeDir()});
    }
    return false;
}

}  // namespace zentra::app
