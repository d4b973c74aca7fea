#include "fs/mounts.h"

#include <sys/sysmacros.h>

#include <sstream>

#include "fs/path_walk.h"

namespace kestrel {
namespace {

std::string Unescape(const std::string& field) {
  std::string out;
  out.reserve(field.size());
  for (size_t i = 0; i < field.size(); ++i) {
    if (field[i] == '\\' && i + 3 < field.size()) {
      const char a = field[i + 1], b = field[i + 2], c = field[i + 3];
      if (a >= '0' && a <= '3' && b >= '0' && b <= '7' && c >= '0' && c <= '7') {
        out += static_cast<char>((a - '0') * 64 + (b - '0') * 8 + (c - '0'));
        i += 3;
        continue;
      }
    }
    out += field[i];
  }
  return out;
}

// "36 35 98:0 /mnt1 /mnt2 rw,noatime master:1 - ext3 /dev/root rw,errors=continue"
bool ParseLine(const std::string& line, MountEntry& e) {
  std::istringstream in(line);
  std::string id, parent, devno, root, point, options, field;
  if (!(in >> id >> parent >> devno >> root >> point >> options)) return false;
  while (in >> field && field != "-") {
  }
  if (field != "-" || !(in >> e.type >> e.source >> e.super_options)) return false;
  unsigned major = 0, minor = 0;
  char colon = 0;
  std::istringstream dev_text(devno);
  if (!(dev_text >> major >> colon >> minor) || colon != ':') return false;
  e.dev = makedev(major, minor);
  e.root = Unescape(root);
  e.point = Unescape(point);
  e.options = options;
  e.source = Unescape(e.source);
  return true;
}

bool Holds(const std::string& point, const std::string& path) {
  if (point == "/") return true;
  return path.compare(0, point.size(), point) == 0 &&
         (path.size() == point.size() || path[point.size()] == '/');
}

}  // namespace

std::vector<MountEntry> ReadMounts(Sys& sys) {
  std::string text;
  std::vector<MountEntry> mounts;
  if (ReadWholeFile(sys, "/proc/self/mountinfo", text) != 0) return mounts;
  std::istringstream in(text);
  std::string line;
  MountEntry e;
  while (std::getline(in, line)) {
    if (ParseLine(line, e)) mounts.push_back(e);
  }
  return mounts;
}

std::string MountPointOf(const std::vector<MountEntry>& mounts, dev_t dev,
                         const std::string& abs_path) {
  const MountEntry* best = nullptr;
  const MountEntry* last = nullptr;
  for (const MountEntry& m : mounts) {
    if (m.dev != dev) continue;
    last = &m;
    if (Holds(m.point, abs_path) && (best == nullptr || m.point.size() >= best->point.size()))
      best = &m;
  }
  if (best == nullptr) best = last;
  return best == nullptr ? std::string() : best->point;
}

bool HasOption(const std::string& options, const std::string& option) {
  size_t pos = 0;
  while (pos <= options.size()) {
    size_t comma = options.find(',', pos);
    if (comma == std::string::npos) comma = options.size();
    if (options.compare(pos, comma - pos, option) == 0) return true;
    pos = comma + 1;
  }
  return false;
}

}  // namespace kestrel
