#include "journal/journal_reader.h"

#include <charconv>
#include <cstdio>
#include <type_traits>

#include "fs/path_walk.h"
#include "journal/identity.h"
#include "journal/journal_text.h"

namespace kestrel::journal {
namespace {

struct Reader {
  RunJournal& out;
  int line = 0;

  void Problem(std::string text) { out.problems.push_back({line, std::move(text)}); }

  std::optional<std::string> Text(std::string_view field) { return Unescape(field); }

  // A path the journal may name: absolute, without "." or ".." or empty components.
  static bool Clean(const std::string& path) {
    if (!path.starts_with('/') || path.find('\0') != std::string::npos) return false;
    if (path == "/") return true;
    for (size_t pos = 1; pos <= path.size();) {
      size_t slash = path.find('/', pos);
      if (slash == std::string::npos) slash = path.size();
      const std::string_view part(path.data() + pos, slash - pos);
      if (part.empty() || part == "." || part == "..") return false;
      pos = slash + 1;
    }
    return true;
  }

  Entry* Numbered(std::string_view field) {
    const auto n = ParseNumber(field);
    Entry* e = n ? out.Find(*n) : nullptr;
    if (e == nullptr) Problem("names no entry recorded before it");
    return e;
  }

  // "f" and 16 hex digits, or "d" and a device number (see FsIdentities).
  static bool FsText(std::string_view t) {
    if (t.size() == 17 && t[0] == 'f') return ParseNumber(t.substr(1), 16).has_value();
    return t.size() > 1 && t[0] == 'd' && ParseNumber(t.substr(1)).has_value();
  }

  // "UID:GID:MODE" per folder, joined by "/"; empty for none.
  static bool OwnersText(std::string_view t) {
    if (t.empty()) return true;
    for (size_t pos = 0; pos <= t.size();) {
      size_t end = t.find('/', pos);
      if (end == std::string_view::npos) end = t.size();
      const std::string_view one = t.substr(pos, end - pos);
      const size_t a = one.find(':'), b = one.rfind(':');
      if (a == b || !ParseNumber(one.substr(0, a)) || !ParseNumber(one.substr(a + 1, b - a - 1)) ||
          !ParseNumber(one.substr(b + 1), 8))
        return false;
      pos = end + 1;
    }
    return true;
  }

  // Format 1: N PATH SIZE MODE SEC NSEC DEV INO INCLUDE IDEV IINO LINK. Format 2: N PATH SIZE
  // MODE SEC NSEC FS INO UID GID INCLUDE IFS IINO LINK OWNERS DETAIL.
  void Intent(const std::vector<std::string_view>& f) {
    const bool two = out.version >= 2;
    const size_t want = two ? 17 : 13, inc = two ? 11 : 9;
    if (f.size() != want)
      return Problem("an intent line needs " + std::to_string(want) + " fields");
    const auto n = ParseNumber(f[1]);
    const auto original = Text(f[2]), include = Text(f[inc]);
    const auto size = ParseNumber(f[3]), mode = ParseNumber(f[4], 8), sec = ParseNumber(f[5]),
               nsec = ParseNumber(f[6]), ino = ParseNumber(f[8]), iino = ParseNumber(f[inc + 2]);
    const std::string_view link = f[inc + 3];
    bool ok = n && *n != 0 && original && include && size && mode && sec && nsec && ino && iino &&
              (link == "0" || link == "1") && *nsec < 1000000000 &&
              *size <= static_cast<std::uint64_t>(INT64_MAX);
    std::optional<std::uint64_t> dev, idev, uid, gid;
    std::optional<std::string> owners, detail;
    if (two) {
      uid = ParseNumber(f[9]), gid = ParseNumber(f[10]);
      owners = Text(f[15]), detail = Text(f[16]);
      ok = ok && FsText(f[7]) && FsText(f[12]) && uid && gid && owners && OwnersText(*owners) &&
           detail;
    } else {
      dev = ParseNumber(f[7]), idev = ParseNumber(f[10]);
      ok = ok && dev && idev;
    }
    if (!ok) return Problem("an intent line with a malformed field");
    if (out.Find(*n) != nullptr) return Problem("entry " + std::to_string(*n) + " twice");
    if (!Clean(*original)) return Problem("an original path that is not clean and absolute");
    Entry e;
    e.number = *n;
    FileFacts& file = e.file;
    file.original = *original;
    file.size = static_cast<std::int64_t>(*size);
    file.mode = static_cast<mode_t>(*mode);
    file.mtime = {static_cast<time_t>(*sec), static_cast<long>(*nsec)};
    file.ino = static_cast<ino_t>(*ino);
    e.include = {*include, 0, static_cast<ino_t>(*iino), link == "1", ""};
    if (two) {
      file.fs = f[7];
      file.uid = static_cast<uid_t>(*uid);
      file.gid = static_cast<gid_t>(*gid);
      file.owners = *owners;
      file.detail = *detail;
      e.include.fs = f[12];
    } else {
      file.dev = static_cast<dev_t>(*dev);
      file.fs = FsIdentityText(0, file.dev);
      e.include.dev = static_cast<dev_t>(*idev);
      e.include.fs = FsIdentityText(0, e.include.dev);
    }
    out.index[e.number] = out.entries.size();
    out.entries.push_back(std::move(e));
  }

  void Outcome(const std::vector<std::string_view>& f) {
    const std::string_view kind = f[0];
    const size_t want = kind == "moved"                           ? (out.version >= 2 ? 7 : 5)
                        : kind == "restoring" || kind == "purged" ? 3
                                                                  : 4;
    if (f.size() != want)
      return Problem("a " + std::string(kind) + " line needs " + std::to_string(want) + " fields");
    const auto when = ParseIso(f[2]);
    if (!when) return Problem("a malformed time");
    Entry* e = Numbered(f[1]);
    if (e == nullptr) return;
    const State s = e->state;
    if (kind == "moved" || kind == "failed") {
      if (s != State::kPending) return Problem("a second outcome for entry " + std::string(f[1]));
      if (kind == "failed") {
        const auto err = ParseNumber(f[3]);
        if (!err) return Problem("a malformed error number");
        e->state = State::kFailed;
        e->error = static_cast<int>(*err);
        return;
      }
      const auto placed = Text(f[3]), info = Text(f[4]);
      if (!placed || !info || !Clean(*placed) || (!info->empty() && !Clean(*info)))
        return Problem("a destination that is not clean and absolute");
      if (out.version >= 2) {
        const auto ino = ParseNumber(f[6]);
        if (!FsText(f[5]) || !ino) return Problem("a moved line with a malformed identity");
        e->placed_fs = f[5];
        e->placed_ino = static_cast<ino_t>(*ino);
      }
      e->state = State::kMoved;
      e->moved_at = *when;
      e->placed = *placed;
      e->info = *info;
      return;
    }
    if (kind == "purged") {
      if (s != State::kMoved) return Problem("a purge of an entry that is not in quarantine");
      e->state = State::kPurged;
      e->purged_at = *when;
      return;
    }
    if (kind == "restoring") {
      if (s != State::kMoved) return Problem("a restore of an entry that was not moved");
      e->state = State::kRestoring;
      return;
    }
    if (s != State::kRestoring) return Problem("a restore outcome without its intent");
    if (kind == "unrestored") {
      const auto err = ParseNumber(f[3]);
      if (!err) return Problem("a malformed error number");
      e->state = State::kMoved;
      e->error = static_cast<int>(*err);
      return;
    }
    const auto to = Text(f[3]);
    if (!to || !Clean(*to)) return Problem("a restored path that is not clean and absolute");
    e->state = State::kRestored;
    e->restored_to = *to;
  }

  void Line(std::string_view text) {
    const std::vector<std::string_view> f = SplitFields(text);
    const std::string_view kind = f[0];
    if (line == 1) {
      const auto version = f.size() == 2 && kind == kMagic ? ParseNumber(f[1]) : std::nullopt;
      if (!version) return Problem("not a Kestrel journal");
      out.version = static_cast<int>(*version);
      if (out.version > kFormatVersion)
        Problem("written by a newer Kestrel (format " + std::string(f[1]) + ")");
      return;
    }
    if (out.version == 0) return;  // reported once, on the first line
    const bool restore_line =
        kind == "restoring" || kind == "restored" || kind == "unrestored" || kind == "purged";
    if (out.ended && !restore_line) return Problem("a line after the end of the run");
    if (kind == "run") {
      if (line != 2 || f.size() != 4) return Problem("a misplaced or malformed run line");
      const auto start = ParseIso(f[1]);
      const auto config = Text(f[2]), quarantine = Text(f[3]);
      if (!start || !config || !quarantine || (!quarantine->empty() && !Clean(*quarantine)))
        return Problem("a malformed run line");
      out.start = *start;
      out.config = *config;
      out.quarantine = *quarantine;
      while (out.quarantine.size() > 1 && out.quarantine.back() == '/') out.quarantine.pop_back();
      return;
    }
    if (kind == "intent") return Intent(f);
    if (kind == "moved" || kind == "failed" || kind == "restoring" || kind == "restored" ||
        kind == "unrestored" || kind == "purged")
      return Outcome(f);
    if (kind == "end") {
      // A restore appends after the run's end; only the run's own end closes the run.
      if (f.size() != 2 || !ParseIso(f[1])) return Problem("a malformed end line");
      out.ended = true;
      return;
    }
    Problem("an unknown kind of line");
  }
};

}  // namespace

Entry* RunJournal::Find(std::uint64_t number) {
  const auto it = index.find(number);
  return it == index.end() ? nullptr : &entries[it->second];
}

std::int64_t RunJournal::MovedFiles() const {
  std::int64_t n = 0;
  for (const Entry& e : entries) n += e.state != State::kPending && e.state != State::kFailed;
  return n;
}

std::int64_t RunJournal::MovedBytes() const {
  std::int64_t n = 0;
  for (const Entry& e : entries)
    if (e.state != State::kPending && e.state != State::kFailed) n += e.file.size;
  return n;
}

RunJournal ParseJournal(std::string_view text) {
  RunJournal out;
  Reader reader{out};
  for (size_t pos = 0; pos < text.size();) {
    ++reader.line;
    const size_t end = text.find('\n', pos);
    if (end == std::string_view::npos) {
      reader.Problem("cut short (no line break at its end)");
      break;
    }
    reader.Line(text.substr(pos, end - pos));
    pos = end + 1;
  }
  if (reader.line == 0) out.problems.push_back({0, "empty"});
  return out;
}

int ReadJournal(Sys& sys, const std::string& folder, const std::string& name, RunJournal& out) {
  std::string text;
  const std::string path = folder + "/" + name + kSuffix;
  if (const int err = ReadWholeFile(sys, path, text)) return err;
  out = ParseJournal(text);
  out.path = path;
  out.name = name;
  return 0;
}

std::string HeaderLines(DateTime start, std::string_view config, std::string_view quarantine) {
  return std::string(kMagic) + Tab(std::to_string(kFormatVersion)) + "\nrun" + Tab(IsoText(start)) +
         Tab(Escape(config)) + Tab(Escape(quarantine)) + "\n";
}

namespace {

// One journal line, its fields joined by tabs as they come; a run writes two lines per moved
// file, so they are built in place rather than from temporaries.
class Line {
 public:
  explicit Line(std::string_view kind) : text_(kind) { text_.reserve(256); }
  Line& operator<<(std::string_view field) {
    text_ += '\t';
    text_ += field;
    return *this;
  }
  template <typename Number>
  requires std::is_integral_v<Number> Line& operator<<(Number n) { return Put(n, 10); }
  Line& Octal(unsigned n) { return Put(n, 8); }
  // Fields already joined, each behind its tab.
  Line& Fields(std::string_view tabbed) {
    text_ += tabbed;
    return *this;
  }
  std::string End() {
    text_ += '\n';
    return std::move(text_);
  }

 private:
  template <typename Number>
  Line& Put(Number n, int base) {
    char digits[24];
    const auto end = std::to_chars(digits, digits + sizeof digits, n, base).ptr;
    return *this << std::string_view(digits, static_cast<size_t>(end - digits));
  }
  std::string text_;
};

}  // namespace

std::string IntentLine(std::uint64_t entry, const FileFacts& file, const IncludeFacts& include) {
  Line line("intent");
  line << entry << Escape(file.original) << file.size;
  line.Octal(static_cast<unsigned>(file.mode));
  line << file.mtime.tv_sec << file.mtime.tv_nsec << file.fs << file.ino << file.uid << file.gid
       << Escape(include.path) << (include.fs.empty() ? "d0" : include.fs) << include.ino
       << (include.link ? "1" : "0") << file.owners << Escape(file.detail);
  return line.End();
}

std::string MovedLine(std::uint64_t entry, DateTime when, std::string_view placed,
                      std::string_view info, std::string_view identity) {
  Line line("moved");
  line << entry << IsoText(when) << Escape(placed) << Escape(info);
  return line.Fields(identity).End();
}

std::string FailedLine(std::uint64_t entry, DateTime when, int err) {
  return "failed" + Tab(std::to_string(entry)) + Tab(IsoText(when)) + Tab(std::to_string(err)) +
         "\n";
}

std::string RestoringLine(std::uint64_t entry, DateTime when) {
  return "restoring" + Tab(std::to_string(entry)) + Tab(IsoText(when)) + "\n";
}

std::string RestoredLine(std::uint64_t entry, DateTime when, std::string_view to) {
  return "restored" + Tab(std::to_string(entry)) + Tab(IsoText(when)) + Tab(Escape(to)) + "\n";
}

std::string UnrestoredLine(std::uint64_t entry, DateTime when, int err) {
  return "unrestored" + Tab(std::to_string(entry)) + Tab(IsoText(when)) + Tab(std::to_string(err)) +
         "\n";
}

std::string EndLine(DateTime when) {
  return "end" + Tab(IsoText(when)) + "\n";
}

}  // namespace kestrel::journal
