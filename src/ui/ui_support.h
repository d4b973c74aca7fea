#pragma once

#include <string>

namespace kestrel {

class Dialogs;
class Functions;
class KestrelCfg;

// The current configuration, made first when there is none.
KestrelCfg& CurrentCfg(Functions& fn);

// The text without the blanks around it.
std::string Trimmed(const std::string& text);

// The path with a leading "~" (alone or before "/") replaced by the home folder.
std::string ExpandHome(const std::string& path);

// A folder the user picks, or empty text when the picker is cancelled or fails; a failure is
// reported under "Functions.BrowseForFolder".
std::string BrowseForFolder(Functions& fn, Dialogs& dialogs, const std::string& start = "");

}  // namespace kestrel
