#pragma once

#include <string>

namespace kestrel {

// Where the values that the design kept in the system registry come from on Linux.
struct RegistrySources {
  std::string etc_dir = "/etc";
};

// Reads one machine-wide value. Known: "SOFTWARE\Microsoft\Windows NT\CurrentVersion",
// "RegisteredOrganization" ($ORGANIZATION, else the first line of /etc/organization).
// Returns empty text for unknown keys, unreadable sources and values over 255 bytes; the
// value is cut at its first NUL and blanks around it are removed.
std::string GetRegistryValue(const std::string& key_name, const std::string& value_name,
                             const RegistrySources& sources = {});

}  // namespace kestrel
