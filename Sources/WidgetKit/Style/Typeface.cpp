#include "WidgetKit/Style/Typeface.h"

#include <QFontDatabase>
#include <QString>
#include <QStringList>

#include <cmath>
#include <map>
#include <mutex>

namespace tarnwick {

namespace {

struct Face {
    std::string_view name;
    const char* file;
    QFont::Weight weight;
};

constexpr Face faces[] = {
    {typefaceFace::light, "InterDisplay-Light.otf", QFont::Light},
    {typefaceFace::regular, "InterDisplay-Regular.otf", QFont::Normal},
    {typefaceFace::medium, "InterDisplay-Medium.otf", QFont::Medium},
    {typefaceFace::semiBold, "InterDisplay-SemiBold.otf", QFont::DemiBold},
    {typefaceFace::bold, "InterDisplay-Bold.otf", QFont::Bold},
};

constexpr const char* fontFolder = "/usr/share/fonts/opentype/inter/";

struct Registered {
    QString family;
    QFont::Weight weight = QFont::Normal;
    bool found = false;
};

const std::map<std::string_view, Registered>& registeredFaces() {
    static const std::map<std::string_view, Registered> registered = [] {
        std::map<std::string_view, Registered> result;
        for (const Face& face : faces) {
            Registered entry;
            entry.weight = face.weight;
            const int id = QFontDatabase::addApplicationFont(QString::fromUtf8(fontFolder) +
                                                             QString::fromUtf8(face.file));
            const QStringList families =
                id < 0 ? QStringList() : QFontDatabase::applicationFontFamilies(id);
            if (!families.isEmpty()) {
                entry.family = families.first();
                entry.found = true;
            } else {
                qWarning("The display face %s is missing (%s%s); using the default family.",
                         face.file, fontFolder, face.file);
            }
            result.emplace(face.name, entry);
        }
        return result;
    }();
    return registered;
}

}  // namespace

QFont Typeface::font(TextStyle style) {
    const TextStyleFont entry = textStyleFont(style);
    return font(entry.face, entry.pointSize);
}

QFont Typeface::font(std::string_view face, double pointSize) {
    QFont font;
    const auto& registered = registeredFaces();
    const auto it = registered.find(face);
    if (it != registered.end()) {
        if (it->second.found) {
            font.setFamilies({it->second.family, QStringLiteral("Noto Color Emoji")});
        }
        font.setWeight(it->second.weight);
    }
    // The scale is in the design's points, one per logical pixel, as on the platform it was
    // drawn for; Qt's points would grow every text by a third at 96 dots per inch.
    font.setPixelSize(int(std::lround(pointSize)));
    return font;
}

bool Typeface::hasFace(std::string_view face) {
    const auto& registered = registeredFaces();
    const auto it = registered.find(face);
    return it != registered.end() && it->second.found;
}

}  // namespace tarnwick
