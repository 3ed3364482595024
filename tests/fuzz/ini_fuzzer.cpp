// Fuzz target for the INI reader under the project, settings and ports
// files: any bytes, every section and key looked up again.
#include <cstddef>
#include <cstdint>
#include <string>

#include "ini_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using zorvat::IniReader;
    const IniReader file(std::string(reinterpret_cast<const char*>(data), size));
    for (const std::string_view section : file.SectionNames()) {
        if (!file.HasSection(section)) __builtin_trap();
        for (const auto& [key, value] : file.Entries(section)) {
            // A key of the section is found again (the first of its name).
            const auto found = file.Find(section, key);
            if (!found) __builtin_trap();
            static_cast<void>(value);
        }
        static_cast<void>(file.Get(section, "Present", "0"));
    }
    static_cast<void>(file.Get("Device0", "Address", "1"));
    return 0;
}
