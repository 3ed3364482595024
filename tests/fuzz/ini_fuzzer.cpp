// Fuzz target for the INI reader under the project, settings and ports
// files: any bytes, every section and key looked up again.
//
// A section name given twice is looked at once (its first section is the
// one that counts), so that a file of many equal headers costs no more than
// the reader itself.
#include <cstddef>
#include <cstdint>
#include <set>
#include <string>
#include <string_view>

#include "ini_file.h"

namespace {

std::string Folded(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using zorvat::IniReader;
    const IniReader file(std::string(reinterpret_cast<const char*>(data), size));
    std::set<std::string> sections;
    for (const std::string_view section : file.SectionNames()) {
        if (!file.HasSection(section)) __builtin_trap();
        if (!sections.insert(Folded(section)).second) continue;
        if (!file.HasSection(Folded(section))) __builtin_trap();
        // Each key reads the value of its first line in the section.
        std::set<std::string> keys;
        for (const auto& [key, value] : file.Entries(section)) {
            if (key.empty() || key.find('=') != std::string_view::npos) __builtin_trap();
            const bool first = keys.insert(Folded(key)).second;
            const auto found = file.Find(section, key);
            if (!found || (first && *found != value)) __builtin_trap();
        }
    }
    static_cast<void>(file.Get("Device0", "Address", "1"));
    return 0;
}
