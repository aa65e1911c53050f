#include "main/ui/design/VantorFont.h"

#include <QFontDatabase>
#include <QFontInfo>

namespace murmeli::ui::VantorFont {

namespace {

QFont systemFont(Design design)
{
    switch (design) {
    case Design::Monospaced:
        return QFontDatabase::systemFont(QFontDatabase::FixedFont);
    case Design::Serif: {
        // Fontconfig maps the style hint's default family ("serif") to the installed serif face.
        QFont serif;
        serif.setStyleHint(QFont::Serif);
        serif.setFamily(serif.defaultFamily());
        return serif;
    }
    case Design::Default:
        break;
    }
    return QFontDatabase::systemFont(QFontDatabase::GeneralFont);
}

} // namespace

bool isAvailable(const QString& family)
{
    if (!QFontDatabase::hasFamily(family)) {
        return false;
    }
    // The database may list a family it only aliases; the match at 12 points must be the face itself.
    return QFontInfo(QFont(family, 12)).family().compare(family, Qt::CaseInsensitive) == 0;
}

QFont font(const QString& family, Design fallback, qreal size, QFont::Weight weight)
{
    QFont chosen = isAvailable(family) ? QFont(family) : systemFont(fallback);
    chosen.setPointSizeF(size);
    chosen.setWeight(weight);
    return chosen;
}

QFont fraunces(qreal size, QFont::Weight weight)
{
    return font(QString::fromLatin1(frauncesFamily), Design::Serif, size, weight);
}

QFont instrumentSans(qreal size, QFont::Weight weight)
{
    return font(QString::fromLatin1(instrumentSansFamily), Design::Default, size, weight);
}

QFont geistMono(qreal size, QFont::Weight weight)
{
    return font(QString::fromLatin1(geistMonoFamily), Design::Monospaced, size, weight);
}

} // namespace murmeli::ui::VantorFont
