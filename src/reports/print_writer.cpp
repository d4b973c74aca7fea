#include "reports/print_writer.h"

#include <cmath>
#include <cstddef>
#include <vector>

namespace kestrel {
namespace {

// Byte offsets at which each character ends, after a leading 0: offsets[n] is the length of
// the first n characters. A character is a lead byte with its continuation bytes, so a UTF-8
// sequence is never split; stray bytes of a name that is not UTF-8 still count one each.
std::vector<std::size_t> CharOffsets(const std::string& text) {
  std::vector<std::size_t> offsets{0};
  for (std::size_t i = 1; i <= text.size(); ++i) {
    if (i == text.size() || (static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) {
      offsets.push_back(i);
    }
  }
  return offsets;
}

}  // namespace

int PrintMargin(int page_width) {
  // Division by 20 is exact at the halves, where the default rounding mode picks the even one.
  return static_cast<int>(std::nearbyint(page_width / 20.0));
}

PrintWriter::PrintWriter(PrintDevice& device, const Clock& clock) : device_(device), clock_(clock) {
  device_.SetFont("Courier New", 10);
}

PrintWriter::~PrintWriter() {
  try {
    device_.EndDoc();
  } catch (...) {
    // Printing fails silently; there is nobody left to tell.
  }
}

void PrintWriter::WriterHeader(const std::string& header_text) {
  device_.PrintLine("\n");
  const std::string header =
      "Kestrel Report - " + header_text + " - " + clock_.Now().ToDisplayText();
  device_.SetCurrentX(device_.PrintableWidth() / 2 - device_.TextWidth(header) / 2);
  device_.PrintLine(header);
  device_.PrintLine("\n");
}

void PrintWriter::WriteLn(const std::string& text_line) {
  std::string text = text_line.substr(0, text_line.find('\0'));
  text.erase(text.find_last_not_of(' ') + 1);
  for (;;) {
    const int margin = PrintMargin(device_.PageWidth());
    const float room = device_.PrintableWidth() - 2.0f * static_cast<float>(margin);
    const std::vector<std::size_t> offsets = CharOffsets(text);
    const std::size_t chars = offsets.size() - 1;
    auto fits = [&](std::size_t n) {
      return !(room < device_.TextWidth(text.substr(0, offsets[n])));
    };

    // Widths grow with every added character, so a bisection finds the same last fitting
    // character as counting down one by one, with a few measurements instead of hundreds.
    std::size_t n = chars;
    if (chars > 0 && !fits(chars)) {
      std::size_t lo = 0;
      std::size_t hi = chars;
      while (hi - lo > 1) {
        const std::size_t mid = lo + (hi - lo) / 2;
        (fits(mid) ? lo : hi) = mid;
      }
      n = lo == 0 ? 1 : lo;
    }

    device_.SetCurrentX(static_cast<float>(margin));
    device_.PrintLine(text.substr(0, offsets[n]));
    if (n == chars) break;
    text.erase(0, offsets[n]);
    text.erase(0, text.find_first_not_of(' '));
  }
  device_.PrintLine("");
}

}  // namespace kestrel
