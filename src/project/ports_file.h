// Writing the [Ports] section of ports.ini, as the port dialog does: the
// ports it governs get their new devices, everything else in the file (other
// ports, other sections, comments) stays as it was.
#pragma once

#include <map>
#include <string>
#include <string_view>

namespace zorvat {

// The new text of ports.ini. `devices` holds, for each port number the
// caller governs, its device; an empty device removes the port's entry, so
// the port map's default applies again.
std::string PortsIniText(std::string_view old, const std::map<int, std::string>& devices);

// Reads `folder`/ports.ini (a missing file is empty), writes the new text in
// its place atomically. False with the reason when it cannot.
bool SavePortsIni(const std::string& folder, const std::map<int, std::string>& devices,
                  std::string* reason = nullptr);

}  // namespace zorvat
