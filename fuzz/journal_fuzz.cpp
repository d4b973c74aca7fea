// The run journal's reader: any text is read without fault, each problem names a line (0: the
// whole text), and each entry is found by its own number; escaped bytes and journal times come
// back as they were written, and every escaped field is valid UTF-8.
#include <algorithm>
#include <string>

#include "fuzz_support.h"
#include "journal/journal_reader.h"
#include "journal/journal_text.h"

namespace journal = kestrel::journal;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
  if (size > 65536) return 0;
  const std::string_view in = kestrel::fuzz::Text(data, size);

  const std::string escaped = journal::Escape(in);
  FUZZ_CHECK(journal::Unescape(escaped) == std::string(in), "escaped bytes come back unchanged");
  FUZZ_CHECK(escaped.find_first_of("\t\n\r") == std::string::npos,
             "an escaped field holds no tab or line break");
  FUZZ_CHECK(kestrel::fuzz::ValidUtf8(escaped), "an escaped field is valid UTF-8");
  if (const auto t = journal::ParseIso(in))
    FUZZ_CHECK(journal::ParseIso(journal::IsoText(*t)) == t, "a journal time reads back the same");

  journal::RunJournal run = journal::ParseJournal(in);
  const size_t lines = static_cast<size_t>(std::count(in.begin(), in.end(), '\n')) + 1;
  for (const journal::Problem& p : run.problems)
    FUZZ_CHECK(p.line >= 0 && static_cast<size_t>(p.line) <= lines, "a problem names a line or 0");
  for (journal::Entry& e : run.entries)
    FUZZ_CHECK(run.Find(e.number) == &e, "each entry is found by its number, and only once");
  return 0;
}
