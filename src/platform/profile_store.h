#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kestrel {

class Sys;

// A sectioned key/value (INI) file. Section and key names match ignoring ASCII case; lines it
// does not understand, comments included, are kept as they are. Every write replaces the file
// atomically, so a crash leaves the old file or the new one, never a torn one.
class ProfileStore {
 public:
  explicit ProfileStore(Sys& sys);

  // Names the file; later calls read and write it.
  void SetFileName(const std::string& file_name);
  // The stored text, or default_value when the file, the section or the key is missing.
  std::string GetString(const std::string& section, const std::string& key,
                        const std::string& default_value);
  // The stored number (optional sign and decimal digits that fit 32 bits), else the default.
  std::int32_t GetLong(const std::string& section, const std::string& key,
                       std::int32_t default_value);
  // Stores the value under the key, creating file, section and key as needed; the file is
  // replaced at once unless a batch is open. Throws KsError for a value holding a line break or
  // a file that cannot be written.
  void PutString(const std::string& section, const std::string& key, const std::string& value);

  // Throws the KsError that PutString would throw for a value the file cannot hold.
  static void CheckStorable(const std::string& section, const std::string& key,
                            const std::string& value);

  // Gathers the writes that follow into one replacement of the file at Commit.
  void BeginBatch();
  // Writes what the batch gathered (also after a failure part-way). Throws KsError.
  void Commit();

 private:
  void EnsureRead();
  std::optional<size_t> FindKey(const std::string& section, const std::string& key,
                                size_t* section_end) const;
  void WriteFile();
  std::string LinkTarget() const;

  Sys& sys_;
  std::string file_name_;
  bool read_ = false;
  bool batch_ = false;
  bool pending_ = false;
  bool bom_ = false;  // the file starts with a UTF-8 byte order mark
  std::vector<std::string> lines_;
};

}  // namespace kestrel
