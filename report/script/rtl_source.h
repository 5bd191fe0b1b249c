// The script library "RTLSource": cp1251 source compiled in front of every report script. Its
// text lives in rtl/RTLSource.pas and is embedded into the program when it is built.
#pragma once

#include <string_view>

namespace zentra::script {

std::string_view rtlSource();

}  // namespace zentra::script
