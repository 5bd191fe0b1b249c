// JSON form of report and print grid files for the kelvo-sf tool (shape: docs/kelvo-sf-json.md).
// Texts are UTF-8 in JSON and cp1251 in the model.
#pragma once

#include <nlohmann/json.hpp>

namespace zentra::report {

class TKelvoGrid;
struct TReportFile;

using Json = nlohmann::ordered_json;

Json GridToJson(const TKelvoGrid& grid);
// Fills an empty grid; throws std::runtime_error naming the offending key.
void GridFromJson(const Json& j, TKelvoGrid& grid);
Json ReportToJson(const TReportFile& report);
void ReportFromJson(const Json& j, TReportFile& report);

std::string Base64Encode(std::string_view bytes);
// Strict: anything but the 64 letters with correct "=" padding is refused.
std::string Base64Decode(std::string_view text);

}  // namespace zentra::report
