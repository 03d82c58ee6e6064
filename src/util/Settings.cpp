#include "util/Settings.h"

#include <cerrno>
#include <cstdlib>

namespace tovira {

std::optional<int32_t> ParseInt32(const std::string& text) {
  size_t begin = text.find_first_not_of(" \t");
  if (begin == std::string::npos) return std::nullopt;
  size_t end = text.find_last_not_of(" \t") + 1;
  const std::string body = text.substr(begin, end - begin);
  errno = 0;
  char* stop = nullptr;
  const long long v = std::strtoll(body.c_str(), &stop, 10);
  if (stop == body.c_str() || *stop != '\0' || errno == ERANGE) return std::nullopt;
  if (v < INT32_MIN || v > INT32_MAX) return std::nullopt;
  return static_cast<int32_t>(v);
}

std::optional<std::string> MapSettings::Find(const std::string& section, const std::string& name) const {
  std::lock_guard lock(mutex_);
  auto it = values_.find({section, name});
  if (it == values_.end()) return std::nullopt;
  return it->second;
}

int32_t MapSettings::ReadInt(const std::string& section, const std::string& name, int32_t fallback) const {
  const auto text = Find(section, name);
  if (!text) return fallback;
  return ParseInt32(*text).value_or(fallback);
}

std::string MapSettings::ReadString(const std::string& section, const std::string& name,
                                    const std::string& fallback) const {
  return Find(section, name).value_or(fallback);
}

void MapSettings::WriteInt(const std::string& section, const std::string& name, int32_t value) {
  WriteString(section, name, std::to_string(value));
}

void MapSettings::WriteString(const std::string& section, const std::string& name, const std::string& value) {
  std::lock_guard lock(mutex_);
  values_[{section, name}] = value;
}

bool MapSettings::Contains(const std::string& section, const std::string& name) const {
  return Find(section, name).has_value();
}

size_t MapSettings::Size() const {
  std::lock_guard lock(mutex_);
  return values_.size();
}

}  // namespace tovira
