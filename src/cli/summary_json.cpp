#include "cli/summary_json.h"

#include <charconv>
#include <cmath>
#include <cstdio>

namespace quorvel {

std::string jsonString(const std::string& text) {
    std::string out = "\"";
    for (const char c : text) {
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (static_cast<unsigned char>(c) < 0x20) {
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
                out += escaped;
            } else {
                out += c;
            }
        }
    }
    return out + "\"";
}

JsonObject& JsonObject::number(const std::string& key, double value) {
    if (!std::isfinite(value)) {
        return null(key);
    }
    char text[32];
    // The shortest text that reads back as the same double.
    const auto result = std::to_chars(text, text + sizeof text, value);
    members_.emplace_back(key, std::string(text, result.ptr));
    return *this;
}

JsonObject& JsonObject::integer(const std::string& key, long long value) {
    members_.emplace_back(key, std::to_string(value));
    return *this;
}

JsonObject& JsonObject::boolean(const std::string& key, bool value) {
    members_.emplace_back(key, value ? "true" : "false");
    return *this;
}

JsonObject& JsonObject::text(const std::string& key, const std::optional<std::string>& value) {
    if (!value) {
        return null(key);
    }
    members_.emplace_back(key, jsonString(*value));
    return *this;
}

JsonObject& JsonObject::null(const std::string& key) {
    members_.emplace_back(key, "null");
    return *this;
}

JsonObject& JsonObject::object(const std::string& key, const JsonObject& members) {
    members_.emplace_back(key, members.render(1));
    return *this;
}

std::string JsonObject::render(int indent) const {
    const std::string outer(static_cast<std::size_t>(2 * indent), ' ');
    const std::string inner = outer + "  ";
    std::string out = "{\n";
    for (std::size_t i = 0; i < members_.size(); ++i) {
        out += inner + jsonString(members_[i].first) + ": " + members_[i].second;
        out += i + 1 < members_.size() ? ",\n" : "\n";
    }
    return out + outer + "}";
}

std::string JsonObject::str() const {
    return render(0) + "\n";
}

} // namespace quorvel
