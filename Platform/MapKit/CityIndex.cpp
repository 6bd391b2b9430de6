#include "MapKit/CityIndex.h"

#include "Foundation/OutsideFile.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <numbers>

namespace tarnwick {

namespace {

// A strict reader of the table's one shape: an array of objects whose values are strings.
class TableReader {
public:
    explicit TableReader(std::string_view text) : m_text(text) {}

    std::string error;

    bool fail(std::string message) {
        error = message + " at byte " + std::to_string(m_position);
        return false;
    }
    void skipSpace() {
        while (m_position < m_text.size() &&
               (m_text[m_position] == ' ' || m_text[m_position] == '\n' ||
                m_text[m_position] == '\r' || m_text[m_position] == '\t')) {
            ++m_position;
        }
    }
    bool take(char expected) {
        skipSpace();
        if (m_position < m_text.size() && m_text[m_position] == expected) {
            ++m_position;
            return true;
        }
        return false;
    }
    bool atEnd() {
        skipSpace();
        return m_position == m_text.size();
    }
    // A string, its escapes decoded (\uXXXX as UTF-8, surrogate pairs joined).
    bool string(std::string& out) {
        out.clear();
        if (!take('"')) {
            return fail("expected a string");
        }
        while (m_position < m_text.size()) {
            if (out.size() > 4 * CityIndex::kMaximumNameBytes) {
                return fail("a string too long for a city table");
            }
            const char c = m_text[m_position++];
            if (c == '"') {
                return true;
            }
            if (static_cast<unsigned char>(c) < 0x20) {
                return fail("a control character inside a string");
            }
            if (c != '\\') {
                out.push_back(c);
                continue;
            }
            if (m_position >= m_text.size()) {
                break;
            }
            const char escape = m_text[m_position++];
            switch (escape) {
                case '"':
                case '\\':
                case '/':
                    out.push_back(escape);
                    break;
                case 'b':
                    out.push_back('\b');
                    break;
                case 'f':
                    out.push_back('\f');
                    break;
                case 'n':
                    out.push_back('\n');
                    break;
                case 'r':
                    out.push_back('\r');
                    break;
                case 't':
                    out.push_back('\t');
                    break;
                case 'u': {
                    std::uint32_t code = 0;
                    if (!hex(code)) {
                        return false;
                    }
                    if (code >= 0xD800 && code < 0xDC00 && m_position + 1 < m_text.size() &&
                        m_text[m_position] == '\\' && m_text[m_position + 1] == 'u') {
                        m_position += 2;
                        std::uint32_t low = 0;
                        if (!hex(low)) {
                            return false;
                        }
                        if (low < 0xDC00 || low > 0xDFFF) {
                            return fail("a broken surrogate pair");
                        }
                        code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
                    } else if (code >= 0xD800 && code < 0xE000) {
                        return fail("a lone surrogate");
                    }
                    appendUTF8(out, code);
                    break;
                }
                default:
                    return fail("an unknown escape");
            }
        }
        return fail("an unterminated string");
    }

private:
    bool hex(std::uint32_t& code) {
        if (m_position + 4 > m_text.size()) {
            return fail("a short \\u escape");
        }
        const auto* begin = m_text.data() + m_position;
        const auto result = std::from_chars(begin, begin + 4, code, 16);
        if (result.ec != std::errc() || result.ptr != begin + 4) {
            return fail("a malformed \\u escape");
        }
        m_position += 4;
        return true;
    }
    static void appendUTF8(std::string& out, std::uint32_t code) {
        if (code < 0x80) {
            out.push_back(static_cast<char>(code));
        } else if (code < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (code >> 6)));
            out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
        } else if (code < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (code >> 12)));
            out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (code >> 18)));
            out.push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
        }
    }

    std::string_view m_text;
    std::size_t m_position = 0;
};

std::optional<double> number(const std::string& text) {
    double value = 0;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    if (result.ec != std::errc() || result.ptr != text.data() + text.size() ||
        !std::isfinite(value)) {
        return std::nullopt;
    }
    return value;
}

constexpr double kPi = std::numbers::pi;

}  // namespace

Result<CityIndex, std::string> CityIndex::parse(std::string_view json) {
    if (json.size() > kMaximumFileBytes) {
        return Failure{std::string("the city table is larger than 64 MiB")};
    }
    TableReader reader(json);
    CityIndex index;
    if (!reader.take('[')) {
        return Failure{std::string("the city table is not a list")};
    }
    std::string key;
    std::string value;
    bool first = true;
    while (!reader.take(']')) {
        if (!first && !reader.take(',')) {
            return Failure{std::string("expected a comma between cities")};
        }
        first = false;
        if (!reader.take('{')) {
            return Failure{std::string("a city is not an object")};
        }
        std::optional<std::string> name;
        std::optional<double> latitude;
        std::optional<double> longitude;
        bool firstField = true;
        while (!reader.take('}')) {
            if (!firstField && !reader.take(',')) {
                return Failure{std::string("expected a comma between fields")};
            }
            firstField = false;
            if (!reader.string(key) || !reader.take(':') || !reader.string(value)) {
                return Failure{"a malformed city: " + (reader.error.empty()
                                                           ? std::string("expected a colon")
                                                           : reader.error)};
            }
            if (key == "name") {
                name = value;
            } else if (key == "lat") {
                latitude = number(value);
            } else if (key == "lng") {
                longitude = number(value);
            }
        }
        if (!name || !latitude || !longitude || name->empty() || name->size() > kMaximumNameBytes ||
            std::abs(*latitude) > 90 || std::abs(*longitude) > 180) {
            // A city the table cannot place or name is left out; the rest still answers.
            continue;
        }
        if (index.m_cities.size() >= kMaximumCities) {
            return Failure{std::string("the city table has too many cities")};
        }
        index.m_cities.push_back({static_cast<float>(*latitude), static_cast<float>(*longitude),
                                  static_cast<std::uint32_t>(index.m_names.size()),
                                  static_cast<std::uint16_t>(name->size())});
        index.m_names += *name;
    }
    if (!reader.atEnd()) {
        return Failure{std::string("text after the city table")};
    }
    index.build();
    return index;
}

void CityIndex::build() {
    const auto cellOf = [](const City& city) {
        const int row =
            std::clamp(static_cast<int>(std::floor(city.latitude + 90.0)), 0, kRows - 1);
        const int column =
            std::clamp(static_cast<int>(std::floor(city.longitude + 180.0)), 0, kColumns - 1);
        return cell(row, column);
    };
    std::stable_sort(m_cities.begin(), m_cities.end(),
                     [&](const City& a, const City& b) { return cellOf(a) < cellOf(b); });
    m_cellStart.assign(kRows * kColumns + 1, 0);
    for (const City& city : m_cities) {
        ++m_cellStart[static_cast<std::size_t>(cellOf(city)) + 1];
    }
    for (std::size_t i = 1; i < m_cellStart.size(); ++i) {
        m_cellStart[i] += m_cellStart[i - 1];
    }
}

std::optional<std::string> CityIndex::cityName(const CLLocationCoordinate2D& coordinate) const {
    if (m_cities.empty() || !std::isfinite(coordinate.latitude) ||
        !std::isfinite(coordinate.longitude) || std::abs(coordinate.latitude) > 90) {
        return std::nullopt;
    }
    const double longitude = mapgeometry::normalizedLongitude(coordinate.longitude);
    const int row =
        std::clamp(static_cast<int>(std::floor(coordinate.latitude + 90.0)), 0, kRows - 1);
    const int column = std::clamp(static_cast<int>(std::floor(longitude + 180.0)), 0, kColumns - 1);
    const double cosine = std::cos(coordinate.latitude * kPi / 180.0);
    const City* best = nullptr;
    double bestSquared = 0;
    // Within 50 km of a position the city lies in its cell or a neighbour (near the poles a degree
    // of longitude is short, but so few cities lie there that a wider search costs nothing).
    const int columnReach = std::abs(coordinate.latitude) > 60 ? 3 : 1;
    for (int dRow = -1; dRow <= 1; ++dRow) {
        const int r = row + dRow;
        if (r < 0 || r >= kRows) {
            continue;
        }
        for (int dColumn = -columnReach; dColumn <= columnReach; ++dColumn) {
            const int c = ((column + dColumn) % kColumns + kColumns) % kColumns;
            const auto index = static_cast<std::size_t>(cell(r, c));
            for (std::uint32_t i = m_cellStart[index]; i < m_cellStart[index + 1]; ++i) {
                const City& city = m_cities[i];
                const double dLatitude = city.latitude - coordinate.latitude;
                const double dLongitude =
                    mapgeometry::normalizedLongitude(city.longitude - longitude) * cosine;
                const double squared = dLatitude * dLatitude + dLongitude * dLongitude;
                if (!best || squared < bestSquared) {
                    best = &city;
                    bestSquared = squared;
                }
            }
        }
    }
    if (!best || std::sqrt(bestSquared) * (kPi / 180.0) * mapgeometry::kEarthRadiusMetres >
                     kMaximumDistanceMetres) {
        return std::nullopt;
    }
    return m_names.substr(best->nameOffset, best->nameLength);
}

Result<CityIndex, std::string> CityIndex::read(const std::filesystem::path& path) {
    auto text = OutsideFile::read(path, kMaximumFileBytes);
    if (!text) {
        return Failure{text.error().message};
    }
    return parse(*text);
}

}  // namespace tarnwick
