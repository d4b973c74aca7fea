#pragma once

#include <memory>
#include <optional>
#include <string>

namespace kestrel {

class PrintDevice;

// The first button of each is the default, but YesNoDefaultNo's, which asks Yes or No with No
// the default, for a question whose Yes does something large.
enum class MsgButtons { Ok, OkCancel, YesNo, YesNoCancel, YesNoDefaultNo };
enum class MsgIcon { None, Information, Question, Exclamation, Critical };
enum class MsgResult { Ok, Cancel, Yes, No };

// Every message box, file dialog, folder picker and print dialog the program shows.
// The Qt implementation shows real dialogs; tests script the answers.
class Dialogs {
 public:
  virtual ~Dialogs() = default;

  virtual MsgResult MessageBox(const std::string& text, MsgButtons buttons, MsgIcon icon,
                               const std::string& caption) = 0;
  // A file to open; nullopt when cancelled. filter is "Kestrel Files (*.ksp)". initial_file
  // ending with "/" is the folder the dialog starts in. Names are bytes, as the file system
  // holds them.
  virtual std::optional<std::string> OpenFileName(const std::string& filter,
                                                  const std::string& default_ext,
                                                  const std::string& initial_file) = 0;
  // A file to save to; nullopt when cancelled.
  virtual std::optional<std::string> SaveFileName(const std::string& filter,
                                                  const std::string& default_ext,
                                                  const std::string& initial_file) = 0;
  // An existing folder chosen in the picker titled "Select a folder", which opens at start
  // (when given); empty when cancelled.
  virtual std::string BrowseForFolder(const std::string& start) = 0;
  // The print dialog without selection and page-range choices; null when cancelled.
  virtual std::unique_ptr<PrintDevice> ShowPrintDialog() = 0;
};

}  // namespace kestrel
