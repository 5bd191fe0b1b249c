// kelvo-sf: prints a report (".rpt") or print grid (".sf") file as JSON, and builds such files
// from the same JSON, so report files can be authored from text sources kept in git.
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>

#include "document/binary_io.h"
#include "document/file_io.h"
#include "document/grid_stream.h"
#include "document/kelvo_grid.h"
#include "document/report_file.h"
#include "kelvo_sf_json.h"

using namespace zentra::report;

namespace {

int usage() {
    std::cerr << "usage: kelvo-sf dump FILE\n"
                 "       kelvo-sf build SOURCE.json OUT.sf|OUT.rpt\n";
    return 2;
}

// A report file starts with a 32-bit length and one of the two report magics.
bool isReport(std::string_view bytes) {
    for (std::string_view magic :
         {std::string_view("Kelvo_REPORT(4.2)"), std::string_view("PD#RMX#Kelvo")}) {
        if (bytes.size() >= 4 + magic.size() &&
            static_cast<unsigned char>(bytes[0]) == magic.size() && bytes[1] == 0 &&
            bytes[2] == 0 && bytes[3] == 0 && bytes.substr(4, magic.size()) == magic)
            return true;
    }
    return false;
}

int dump(const char* path) {
    std::string bytes = ReadWholeFile(path);
    Json j;
    if (isReport(bytes)) {
        j = ReportToJson(LoadReportStream(bytes));
    } else {
        TKelvoGrid g;
        LoadGridStream(g, bytes);
        j = GridToJson(g);
    }
    std::cout << j.dump(2) << "\n";
    return 0;
}

int build(const char* source, const std::string& out) {
    std::ifstream in(source, std::ios::binary);
    if (!in) throw std::runtime_error(std::string("Не удалось открыть файл \"") + source + "\"");
    Json j = Json::parse(in);
    std::string ext = out.size() >= 4 ? out.substr(out.size() - 4) : "";
    for (char& c : ext)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    std::string bytes;
    if (ext == ".rpt") {
        TReportFile rep;
        ReportFromJson(j, rep);
        bytes = SaveReportStream(rep);
        LoadReportStream(bytes);  // what we write must read back
    } else if (out.size() >= 3 && (ext.substr(1) == ".sf")) {
        TKelvoGrid g;
        GridFromJson(j, g);
        bytes = SaveGridStream(g);
        TKelvoGrid check;
        LoadGridStream(check, bytes);
    } else {
        throw std::runtime_error("Расширение выходного файла должно быть .sf или .rpt");
    }
    WriteFileAtomic(out, bytes);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) return usage();
    std::string cmd = argv[1];
    try {
        if (cmd == "dump" && argc == 3) return dump(argv[2]);
        if (cmd == "build" && argc == 4) return build(argv[2], argv[3]);
        return usage();
    } catch (const std::exception& e) {
        std::cerr << "kelvo-sf: " << e.what() << "\n";
        return 1;
    }
}
