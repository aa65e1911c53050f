#include "main/usage/CodexBarProviderUsage.h"

#include <array>
#include <utility>

namespace murmeli::usage {

namespace {

bool isCurrencySign(QChar c)
{
    return c == QChar(0x00A5) || c == u'$' || c == QChar(0x00A3) || c == QChar(0x20AC);
}

// Every word starts with a capital and goes on in small letters, as the platform's own capitalising does.
QString capitalised(const QString& text)
{
    QString result;
    result.reserve(text.size());
    bool wordStart = true;
    for (const QChar c : text) {
        if (c.isLetter()) {
            result.append(wordStart ? c.toUpper() : c.toLower());
            wordStart = false;
        } else {
            result.append(c);
            wordStart = !c.isDigit();
        }
    }
    return result;
}

} // namespace

bool CodexBarProviderUsage::isFinancial() const
{
    if (primaryPercent != 0 || !primaryResetDescription || primaryResetDescription->isEmpty()) {
        return false;
    }
    const QString& text = *primaryResetDescription;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (!isCurrencySign(text[i])) {
            continue;
        }
        qsizetype next = i + 1;
        while (next < text.size() && text[next].isSpace()) {
            ++next;
        }
        if (next < text.size() && text[next].isDigit()) {
            return true;
        }
    }
    return false;
}

QString CodexBarProviderUsage::displayName(const QString& providerID)
{
    if (providerID.isEmpty()) {
        return QStringLiteral("—");
    }
    static const std::array<std::pair<const char*, const char*>, 5> knownNames { {
        { "zai", "Z.AI" },
        { "deepseek", "DeepSeek" },
        { "minimax", "MiniMax" },
        { "openrouter", "OpenRouter" },
        { "vertexai", "Vertex AI" },
    } };
    const QString id = providerID.toLower();
    for (const auto& [key, name] : knownNames) {
        if (id == QLatin1String(key)) {
            return QString::fromLatin1(name);
        }
    }
    return capitalised(providerID);
}

} // namespace murmeli::usage
