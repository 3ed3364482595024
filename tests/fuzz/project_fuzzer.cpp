// Fuzz target for the project file loader: any bytes read as a project,
// then what was loaded written and read again, which must give the same
// text (a save of a loaded project loses nothing more on the next round).
#include <cstddef>
#include <cstdint>
#include <string>

#include "Files.h"
#include "ini_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace zorvat;
    const IniReader file(std::string(reinterpret_cast<const char*>(data), size));
    const ProjectDevices loaded = ReadProjectDevices(file);
    const std::string text = ProjectText(loaded.devices, "01.01.2026 0:00:00");
    const ProjectDevices again = ReadProjectDevices(IniReader(text));
    if (again.devices.size() != loaded.devices.size()) __builtin_trap();
    if (ProjectText(again.devices, "01.01.2026 0:00:00") != text) __builtin_trap();
    return 0;
}
