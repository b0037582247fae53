#pragma once

#include "common/files.h"

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace quorvel {

// A JSON object written one member a line, nested objects one level deep, so that it is both
// JSON and easy for line tools (scripts/sweep.sh reads it with awk).
class JsonObject {
  public:
    JsonObject& number(const std::string& key, double value);
    JsonObject& integer(const std::string& key, long long value);
    JsonObject& boolean(const std::string& key, bool value);
    JsonObject& text(const std::string& key, const std::optional<std::string>& value);
    JsonObject& null(const std::string& key);
    // An array of strings.
    JsonObject& texts(const std::string& key, const std::vector<std::string>& values);
    // A nested object: one level of nesting only.
    JsonObject& object(const std::string& key, const JsonObject& members);

    // The object as text, ending in a line break.
    std::string str() const;

  private:
    std::string render(int indent) const;

    std::vector<std::pair<std::string, std::string>> members_; // key, value as written
};

// A string as a JSON string literal, with quotes. JSON is Unicode: a byte that does not belong
// to well-formed UTF-8 (a path in another encoding) becomes U+FFFD.
std::string jsonString(const std::string& text);

} // namespace quorvel
