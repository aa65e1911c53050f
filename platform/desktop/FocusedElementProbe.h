#pragma once

#include <optional>

#include <QString>
#include <QtGlobal>

namespace murmeli::platform {

/// What kind of element has the keyboard focus inside an application.
enum class FocusedRole {
    TextField, ///< a one-line text entry
    TextArea, ///< a text entry of several lines, or an editable document
    ComboBox, ///< a choice list one can type into
    WebArea, ///< the document of a web page
    Terminal, ///< a terminal emulator's screen
    Other, ///< anything else: a button, a list, a menu, ...
};

/// The element with the keyboard focus as the application's accessibility interface describes it.
struct FocusedElement final {
    FocusedRole role = FocusedRole::Other;
    /// The platform's own name of the role ("text", "push button", ...), for log lines.
    QString roleName;
    /// Whether the element takes typed text.
    bool editable = false;

    friend bool operator==(const FocusedElement&, const FocusedElement&) = default;
};

/// Reads which element of an application has the keyboard focus. Main thread only; answers within a short bound.
class FocusedElementProbe {
public:
    FocusedElementProbe() = default;
    virtual ~FocusedElementProbe() = default;
    Q_DISABLE_COPY_MOVE(FocusedElementProbe)

    /// Whether the desktop's accessibility service answers at all; when false every probe answers nothing.
    virtual bool isAvailable() const = 0;
    /// The focused element of the process's windows; absent when the process exposes none or cannot be asked.
    virtual std::optional<FocusedElement> focusedElement(qint64 pid) = 0;
};

} // namespace murmeli::platform
