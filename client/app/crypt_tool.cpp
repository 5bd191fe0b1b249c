// zentra-crypt enc|dec workstation|catalogue TEXT
// Prints the enciphered or deciphered form of TEXT; the terminal side is UTF-8, the enciphered
// bytes are those of the cp1251 text, as the program stores them.
#include <iostream>
#include <string>

#include "crypt.h"
#include "text/cp1251.h"

int main(int argc, char** argv) {
    using namespace zentra;
    if (argc != 4) {
        std::cerr << "usage: zentra-crypt enc|dec workstation|catalogue TEXT\n";
        return 2;
    }
    const std::string op = argv[1], which = argv[2], input = argv[3];
    if ((op != "enc" && op != "dec") || (which != "workstation" && which != "catalogue")) {
        std::cerr << "usage: zentra-crypt enc|dec workstation|catalogue TEXT\n";
        return 2;
    }
    const auto key = which == "workstation" ? app::CryptKey::Workstation : app::CryptKey::Catalogue;
    try {
        if (op == "enc") {
            std::cout << app::cryptText(text::utf8ToCp1251(input), key, true) << "\n";
        } else {
            const std::string plain = text::cp1251ToUtf8(app::cryptText(input, key, false));
            if (!plain.empty()) std::cout << plain << "\n";
        }
        return 0;
    } catch (const std::exception& e) {
        std::cerr << "zentra-crypt: " << e.what() << "\n";
        return 1;
    }
}
