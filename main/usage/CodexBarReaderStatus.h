#pragma once

#include <QString>
#include <QtGlobal>

namespace murmeli::usage {

/// Where the usage reader stands: idle until its first poll ends, then what that poll came to.
class CodexBarReaderStatus final {
public:
    enum class Case { Error, Idle, Active, NotInstalled };

    /// The code is the first non-zero exit code of the poll's rows, or -3 when none exited that way.
    static CodexBarReaderStatus error(qint32 code) { return CodexBarReaderStatus(Case::Error, code); }
    static CodexBarReaderStatus idle() { return CodexBarReaderStatus(Case::Idle, 0); }
    static CodexBarReaderStatus active() { return CodexBarReaderStatus(Case::Active, 0); }
    static CodexBarReaderStatus notInstalled() { return CodexBarReaderStatus(Case::NotInstalled, 0); }

    CodexBarReaderStatus() = default;

    Case kind() const { return m_case; }
    /// The error code; 0 for the other cases.
    qint32 code() const { return m_code; }

    bool operator==(const CodexBarReaderStatus&) const = default;

private:
    CodexBarReaderStatus(Case kind, qint32 code) : m_case(kind), m_code(code) { }

    Case m_case = Case::Idle;
    qint32 m_code = 0;
};

/// "idle", "active", "notInstalled" or "error(<code>)", for log lines.
QString toString(const CodexBarReaderStatus& status);

} // namespace murmeli::usage
