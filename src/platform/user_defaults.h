#pragma once

#include <string>

#include "platform/registry.h"

namespace kestrel {

class ErrorReporter;

// The login name: $USER, else $LOGNAME, else the passwd entry of the real user; else empty.
// A failure is reported under "Functions.GetUserName" and gives empty text.
std::string GetUserName(ErrorReporter& reporter);
// The organization the machine is registered to, or empty text. A failure is reported under
// "Functions.GetCompanyName" and gives empty text.
std::string GetCompanyName(ErrorReporter& reporter, const RegistrySources& sources = {});

}  // namespace kestrel
