#pragma once

#include <initializer_list>
#include <optional>
#include <utility>
#include <vector>

#include <QByteArray>
#include <QString>

namespace murmeli::hooks {

/// A JSON value of a file the user owns, kept as the user wrote it: keys in their order, numbers and strings in
/// their own spelling (a 20-digit integer or "1.0" stays what it was), and every part an edit does not touch written
/// back byte for byte. Qt's JSON document sorts keys and turns numbers into doubles, so it cannot write such a file
/// back. Only the containers an edit changed are laid out anew, two spaces per level.
class JsonText final {
public:
    enum class Kind { Null, Bool, Number, String, Array, Object };

    /// null
    JsonText() = default;
    /// A string value.
    explicit JsonText(const QString& text);
    explicit JsonText(int number);
    explicit JsonText(bool value);
    static JsonText array(std::vector<JsonText> items = {});
    static JsonText object(std::initializer_list<std::pair<QString, JsonText>> members = {});

    /// The value of the whole text; nullopt when it is not JSON (RFC 8259) or an object names a key twice, with the
    /// reason in problem.
    static std::optional<JsonText> parse(const QByteArray& text, QString* problem = nullptr);

    Kind kind() const { return m_kind; }
    bool isObject() const { return m_kind == Kind::Object; }
    bool isArray() const { return m_kind == Kind::Array; }
    /// The text of a string value; empty for any other kind.
    QString toString() const;

    // Objects: members in their order.
    QStringList keys() const;
    bool contains(const QString& key) const;
    /// The member's value; null when there is none.
    JsonText value(const QString& key) const;
    /// Replaces the member's value where it stands, or adds it at the end.
    void insert(const QString& key, const JsonText& value);
    void remove(const QString& key);

    // Arrays.
    const std::vector<JsonText>& items() const { return m_values; }
    void append(const JsonText& item);
    void setItems(std::vector<JsonText> items);

    /// The same value, however it is spelled or laid out.
    bool operator==(const JsonText& other) const { return canonical() == other.canonical(); }

    /// The same value once members holding an empty object or list (or only such members) are left out: what
    /// murmeli's removal leaves when it takes out a list or object that only its own entries had filled.
    bool sameIgnoringEmptyMembers(const JsonText& other) const { return canonical(true) == other.canonical(true); }

    /// The text, as it was read where nothing changed.
    QByteArray toText() const;

private:
    void changed() { m_sourceLength = -1; }
    void write(QByteArray& out, int depth) const;
    QByteArray canonical(bool withoutEmptyMembers = false) const;
    qsizetype indexOf(const QString& key) const;

    friend class JsonTextReader;

    Kind m_kind = Kind::Null;
    /// Where the value stands in the text it was read from (shared, not copied), for a value no edit has changed;
    /// a length of -1 once changed or for a value built here.
    QByteArray m_source;
    qsizetype m_sourceStart = 0;
    qsizetype m_sourceLength = -1;
    /// A scalar's own spelling (a string with its quotes and escapes).
    QByteArray m_lexeme;
    /// An object's keys as spelled and as read; the values of an object's members or an array's items.
    std::vector<QByteArray> m_rawKeys;
    std::vector<QString> m_keys;
    std::vector<JsonText> m_values;
};

} // namespace murmeli::hooks
