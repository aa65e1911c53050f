#include "main/hooks/install/JsonText.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QSet>
#include <QStringList>

namespace murmeli::hooks {

namespace {

// Qt's reader gives up on deeper nesting too.
constexpr int maxDepth = 1024;

QByteArray quoted(const QString& text)
{
    const QByteArray wrapped = QJsonDocument(QJsonArray { text }).toJson(QJsonDocument::Compact);
    return wrapped.mid(1, wrapped.size() - 2);
}

// Qt decodes the escapes; the lexeme was checked when the whole text was.
QString unquoted(const QByteArray& lexeme)
{
    if (!lexeme.contains('\\')) {
        return QString::fromUtf8(lexeme.mid(1, lexeme.size() - 2));
    }
    return QJsonDocument::fromJson('[' + lexeme + ']').array().at(0).toString();
}

bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

} // namespace

// Finds where each value starts and ends in a text that Qt's reader has already accepted as JSON, so it only has to
// tell the values apart, not check them.
class JsonTextReader final {
public:
    explicit JsonTextReader(const QByteArray& text) : m_text(text) { }

    std::optional<JsonText> document(QString* problem)
    {
        if (m_text.startsWith("\xEF\xBB\xBF")) {
            m_at = 3;
        }
        std::optional<JsonText> root = value(0);
        skipSpace();
        if (root && m_at != m_text.size()) {
            m_problem = QStringLiteral("text after the end");
            root.reset();
        }
        if (!root && problem) {
            *problem = m_problem;
        }
        return root;
    }

private:
    void skipSpace()
    {
        while (m_at < m_text.size() && isSpace(m_text.at(m_at))) {
            ++m_at;
        }
    }

    bool take(char c)
    {
        skipSpace();
        if (m_at < m_text.size() && m_text.at(m_at) == c) {
            ++m_at;
            return true;
        }
        return false;
    }

    std::optional<QByteArray> stringLexeme()
    {
        const qsizetype start = m_at;
        if (m_at >= m_text.size() || m_text.at(m_at) != '"') {
            return std::nullopt;
        }
        for (++m_at; m_at < m_text.size(); ++m_at) {
            const char c = m_text.at(m_at);
            if (c == '\\') {
                ++m_at;
            } else if (c == '"') {
                ++m_at;
                return m_text.mid(start, m_at - start);
            }
        }
        return std::nullopt;
    }

    std::optional<JsonText> value(int depth)
    {
        skipSpace();
        if (m_at >= m_text.size() || depth > maxDepth) {
            m_problem = QStringLiteral("unexpected end");
            return std::nullopt;
        }
        const qsizetype start = m_at;
        JsonText result;
        const char c = m_text.at(m_at);
        if (c == '{' || c == '[') {
            ++m_at;
            result.m_kind = c == '{' ? JsonText::Kind::Object : JsonText::Kind::Array;
            if (!(c == '{' ? members(result, depth) : items(result, depth))) {
                return std::nullopt;
            }
        } else if (c == '"') {
            const std::optional<QByteArray> lexeme = stringLexeme();
            if (!lexeme) {
                m_problem = QStringLiteral("unterminated string");
                return std::nullopt;
            }
            result.m_kind = JsonText::Kind::String;
            result.m_lexeme = *lexeme;
        } else {
            while (m_at < m_text.size() && !isSpace(m_text.at(m_at)) && !QByteArray(",]}").contains(m_text.at(m_at))) {
                ++m_at;
            }
            result.m_lexeme = m_text.mid(start, m_at - start);
            if (result.m_lexeme == "null") {
                result.m_kind = JsonText::Kind::Null;
            } else if (result.m_lexeme == "true" || result.m_lexeme == "false") {
                result.m_kind = JsonText::Kind::Bool;
            } else if (!result.m_lexeme.isEmpty() && QByteArray("-0123456789").contains(result.m_lexeme.at(0))) {
                result.m_kind = JsonText::Kind::Number;
            } else {
                m_problem = QStringLiteral("unexpected text");
                return std::nullopt;
            }
        }
        result.m_source = m_text;
        result.m_sourceStart = start;
        result.m_sourceLength = m_at - start;
        return result;
    }

    bool members(JsonText& object, int depth)
    {
        if (take('}')) {
            return true;
        }
        QSet<QString> seen;
        do {
            skipSpace();
            const std::optional<QByteArray> key = stringLexeme();
            if (!key || !take(':')) {
                m_problem = QStringLiteral("a member without a key");
                return false;
            }
            const QString name = unquoted(*key);
            if (seen.contains(name)) {
                m_problem = QStringLiteral("the key \"%1\" appears twice in one object").arg(name);
                return false;
            }
            seen.insert(name);
            std::optional<JsonText> member = value(depth + 1);
            if (!member) {
                return false;
            }
            object.m_rawKeys.push_back(*key);
            object.m_keys.push_back(name);
            object.m_values.push_back(std::move(*member));
        } while (take(','));
        if (!take('}')) {
            m_problem = QStringLiteral("an object without its end");
            return false;
        }
        return true;
    }

    bool items(JsonText& array, int depth)
    {
        if (take(']')) {
            return true;
        }
        do {
            std::optional<JsonText> item = value(depth + 1);
            if (!item) {
                return false;
            }
            array.m_values.push_back(std::move(*item));
        } while (take(','));
        if (!take(']')) {
            m_problem = QStringLiteral("an array without its end");
            return false;
        }
        return true;
    }

    const QByteArray& m_text;
    qsizetype m_at = 0;
    QString m_problem;
};

JsonText::JsonText(const QString& text) : m_kind(Kind::String), m_lexeme(quoted(text)) { }

JsonText::JsonText(int number) : m_kind(Kind::Number), m_lexeme(QByteArray::number(number)) { }

JsonText::JsonText(bool value) : m_kind(Kind::Bool), m_lexeme(value ? "true" : "false") { }

JsonText JsonText::array(std::vector<JsonText> items)
{
    JsonText result;
    result.m_kind = Kind::Array;
    result.m_values = std::move(items);
    return result;
}

JsonText JsonText::object(std::initializer_list<std::pair<QString, JsonText>> members)
{
    JsonText result;
    result.m_kind = Kind::Object;
    for (const auto& [key, value] : members) {
        result.insert(key, value);
    }
    return result;
}

std::optional<JsonText> JsonText::parse(const QByteArray& text, QString* problem)
{
    QJsonParseError error {};
    QJsonDocument::fromJson(text, &error);
    if (error.error != QJsonParseError::NoError) {
        if (problem) {
            *problem = error.errorString();
        }
        return std::nullopt;
    }
    return JsonTextReader(text).document(problem);
}

QString JsonText::toString() const
{
    return m_kind == Kind::String ? unquoted(m_lexeme) : QString();
}

QStringList JsonText::keys() const
{
    return QStringList(m_keys.begin(), m_keys.end());
}

qsizetype JsonText::indexOf(const QString& key) const
{
    if (m_kind != Kind::Object) {
        return -1;
    }
    for (size_t i = 0; i < m_keys.size(); ++i) {
        if (m_keys[i] == key) {
            return qsizetype(i);
        }
    }
    return -1;
}

bool JsonText::contains(const QString& key) const
{
    return indexOf(key) >= 0;
}

JsonText JsonText::value(const QString& key) const
{
    const qsizetype at = indexOf(key);
    return at < 0 ? JsonText() : m_values[size_t(at)];
}

void JsonText::insert(const QString& key, const JsonText& value)
{
    const qsizetype at = indexOf(key);
    if (at < 0) {
        m_rawKeys.push_back(quoted(key));
        m_keys.push_back(key);
        m_values.push_back(value);
        changed();
    } else if (!(m_values[size_t(at)] == value)) {
        // An equal value keeps its own spelling and layout.
        m_values[size_t(at)] = value;
        changed();
    }
}

void JsonText::remove(const QString& key)
{
    const qsizetype at = indexOf(key);
    if (at >= 0) {
        m_rawKeys.erase(m_rawKeys.begin() + at);
        m_keys.erase(m_keys.begin() + at);
        m_values.erase(m_values.begin() + at);
        changed();
    }
}

void JsonText::append(const JsonText& item)
{
    m_values.push_back(item);
    changed();
}

void JsonText::setItems(std::vector<JsonText> items)
{
    if (items.size() != m_values.size() || !std::equal(items.begin(), items.end(), m_values.begin())) {
        m_values = std::move(items);
        changed();
    }
}

QByteArray JsonText::toText() const
{
    QByteArray out;
    write(out, 0);
    return out;
}

void JsonText::write(QByteArray& out, int depth) const
{
    if (m_sourceLength >= 0) {
        out += QByteArrayView(m_source).sliced(m_sourceStart, m_sourceLength);
        return;
    }
    if (m_kind != Kind::Object && m_kind != Kind::Array) {
        out += m_kind == Kind::Null ? QByteArray("null") : m_lexeme;
        return;
    }
    const bool object = m_kind == Kind::Object;
    out += object ? '{' : '[';
    const QByteArray indent((depth + 1) * 2, ' ');
    for (size_t i = 0; i < m_values.size(); ++i) {
        out += (i == 0 ? "\n" : ",\n") + indent;
        if (object) {
            out += m_rawKeys[i] + ": ";
        }
        m_values[i].write(out, depth + 1);
    }
    if (!m_values.empty()) {
        out += '\n' + QByteArray(depth * 2, ' ');
    }
    out += object ? '}' : ']';
}

// Strings compare by their text, numbers by their spelling: "1.0" and "1" are different values to the user.
QByteArray JsonText::canonical(bool withoutEmptyMembers) const
{
    switch (m_kind) {
    case Kind::Null:
        return "n";
    case Kind::Bool:
    case Kind::Number:
        return m_lexeme;
    case Kind::String:
        return quoted(toString());
    case Kind::Array:
    case Kind::Object:
        break;
    }
    QByteArray out = m_kind == Kind::Object ? "{" : "[";
    for (size_t i = 0; i < m_values.size(); ++i) {
        const QByteArray value = m_values[i].canonical(withoutEmptyMembers);
        if (m_kind == Kind::Object) {
            if (withoutEmptyMembers && (value == "{}" || value == "[]")) {
                continue;
            }
            out += quoted(m_keys[i]) + ':';
        }
        out += value + ',';
    }
    if (out.size() > 1) {
        out.chop(1);
    }
    return out + (m_kind == Kind::Object ? "}" : "]");
}

} // namespace murmeli::hooks
