#include "reports/text_box_writer.h"

#include "platform/error.h"

namespace kestrel {

void TextBoxWriter::Device(TextBox* device) {
  if (device == nullptr) throw KsError(kAppError, "Type mismatch", "TextBoxWriter.Device");
  device_ = device;
  device_->SetText("");
}

void TextBoxWriter::WriteLn(const std::string& text_line) {
  if (device_ == nullptr) {
    throw KsError(kAppError, "No text box to write to", "TextBoxWriter.WriteLn");
  }
  device_->Append(device_->IsEmpty() ? text_line : "\n" + text_line);
}

}  // namespace kestrel
