#include "asio/AsioExclusion.h"

#include <algorithm>

namespace vantor::asio {

namespace {

constexpr std::string_view kFixedNames[] = {
    "ASIO DirectX Full Duplex Driver", "ASIO Multimedia Driver", "Generic Low Latency ASIO Driver",
    "Samson C01U ASIO Driver",         "Samson ASIO Driver",
};
constexpr std::string_view kFixedPrefixes[] = {"Premiere", "Adobe"};

char lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool sameText(std::string_view a, std::string_view b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return lower(x) == lower(y); });
}

std::string_view trimmed(std::string_view s) {
    constexpr std::string_view kSpace = " \t\r\n\v\f";
    const size_t first = s.find_first_not_of(kSpace);
    if (first == std::string_view::npos) return {};
    return s.substr(first, s.find_last_not_of(kSpace) - first + 1);
}

} // namespace

std::vector<std::string> parseExclusionList(std::string_view text) {
    if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
    std::vector<std::string> names;
    while (!text.empty()) {
        const size_t end = std::min(text.find('\n'), text.size());
        const std::string_view name = trimmed(text.substr(0, end));
        if (!name.empty()) names.emplace_back(name);
        text.remove_prefix(std::min(end + 1, text.size()));
    }
    return names;
}

Exclusion exclusionOf(std::string_view driverName, const std::vector<std::string>& listed) {
    for (std::string_view fixed : kFixedNames)
        if (sameText(driverName, fixed)) return Exclusion::Fixed;
    for (std::string_view prefix : kFixedPrefixes)
        if (sameText(driverName.substr(0, prefix.size()), prefix)) return Exclusion::Fixed;
    for (const std::string& name : listed)
        if (sameText(driverName, name)) return Exclusion::Listed;
    return Exclusion::None;
}

} // namespace vantor::asio
