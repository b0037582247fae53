#include "cli/summary_json.h"

#include <charconv>
#include <cmath>
#include <cstdio>

namespace quorvel {

namespace {

// The length of the well-formed UTF-8 sequence at text[i], or 0 when the byte there does not
// begin one (a stray continuation byte, an overlong form, a surrogate, beyond U+10FFFF).
std::size_t utf8Length(const std::string& text, std::size_t i) {
    const auto byte = [&](std::size_t k) {
        return k < text.size() ? static_cast<unsigned char>(text[k]) : 0u;
    };
    const unsigned lead = byte(i);
    const auto continues = [&](std::size_t k) { return (byte(k) & 0xC0u) == 0x80u; };
    if (lead < 0x80) {
        return 1;
    }
    if (lead >= 0xC2 && lead <= 0xDF) {
        return continues(i + 1) ? 2 : 0;
    }
    if (lead >= 0xE0 && lead <= 0xEF) {
        const unsigned second = byte(i + 1);
        const bool ok = continues(i + 1) && continues(i + 2) && !(lead == 0xE0 && second < 0xA0) &&
                        !(lead == 0xED && second >= 0xA0);
        return ok ? 3 : 0;
    }
    if (lead >= 0xF0 && lead <= 0xF4) {
        const unsigned second = byte(i + 1);
        const bool ok = continues(i + 1) && continues(i + 2) && continues(i + 3) &&
                        !(lead == 0xF0 && second < 0x90) && !(lead == 0xF4 && second >= 0x90);
        return ok ? 4 : 0;
    }
    return 0;
}

} // namespace

std::string jsonString(const std::string& text) {
    std::string out = "\"";
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t length = utf8Length(text, i);
        if (length == 0) {
            out += "\xEF\xBF\xBD"; // a byte that is not UTF-8: the replacement character
            ++i;
            continue;
        }
        if (length > 1) {
            out.append(text, i, length);
            i += length;
            continue;
        }
        const char c = text[i++];
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

JsonObject& JsonObject::texts(const std::string& key, const std::vector<std::string>& values) {
    std::string array = "[";
    for (std::size_t i = 0; i < values.size(); ++i) {
        array += (i > 0 ? ", " : "") + jsonString(values[i]);
    }
    members_.emplace_back(key, array + "]");
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
