#pragma once
// Where the player keeps small per-user values: integers and strings filed by section and name.
// The application binds this to its settings store; tests and the command-line tool use the map.

#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <utility>

namespace tovira {

class Settings {
 public:
  virtual ~Settings() = default;
  // The stored integer, or `fallback` when the value is missing or is not an integer.
  virtual int32_t ReadInt(const std::string& section, const std::string& name, int32_t fallback) const = 0;
  virtual std::string ReadString(const std::string& section, const std::string& name,
                                 const std::string& fallback) const = 0;
  virtual void WriteInt(const std::string& section, const std::string& name, int32_t value) = 0;
  virtual void WriteString(const std::string& section, const std::string& name, const std::string& value) = 0;
};

// Values held in memory, stored as text like a settings file would.
class MapSettings final : public Settings {
 public:
  int32_t ReadInt(const std::string& section, const std::string& name, int32_t fallback) const override;
  std::string ReadString(const std::string& section, const std::string& name,
                         const std::string& fallback) const override;
  void WriteInt(const std::string& section, const std::string& name, int32_t value) override;
  void WriteString(const std::string& section, const std::string& name, const std::string& value) override;

  bool Contains(const std::string& section, const std::string& name) const;
  size_t Size() const;

 private:
  std::optional<std::string> Find(const std::string& section, const std::string& name) const;

  mutable std::mutex mutex_;
  std::map<std::pair<std::string, std::string>, std::string> values_;
};

// Parses a whole decimal integer in the 32-bit range, with optional sign and surrounding blanks.
std::optional<int32_t> ParseInt32(const std::string& text);

}  // namespace tovira
