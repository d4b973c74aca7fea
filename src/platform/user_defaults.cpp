#include "platform/user_defaults.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <exception>
#include <vector>

#include "platform/error_reporter.h"

namespace kestrel {

std::string GetUserName(ErrorReporter& reporter) {
  try {
    for (const char* var : {"USER", "LOGNAME"}) {
      if (const char* v = std::getenv(var); v != nullptr && *v != '\0') return v;
    }
    std::vector<char> buf(16384);
    passwd pw{};
    passwd* found = nullptr;
    if (getpwuid_r(getuid(), &pw, buf.data(), buf.size(), &found) == 0 && found != nullptr) {
      return found->pw_name;
    }
    return {};
  } catch (...) {
    ReportHandled(reporter, "Functions.GetUserName", std::current_exception());
    return {};
  }
}

std::string GetCompanyName(ErrorReporter& reporter, const RegistrySources& sources) {
  try {
    return GetRegistryValue("SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion",
                            "RegisteredOrganization", sources);
  } catch (...) {
    ReportHandled(reporter, "Functions.GetCompanyName", std::current_exception());
    return {};
  }
}

}  // namespace kestrel
