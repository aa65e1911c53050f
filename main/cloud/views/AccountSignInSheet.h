#pragma once

#include <functional>

#include <QDialog>

class QAbstractButton;
class QLabel;
class QLineEdit;

namespace murmeli::ui {
class SecondaryButton;
}

namespace murmeli::cloud {

class AccountSignInSheetModel;
class PrimaryBrassButton;

/// The sign-in sheet: an e-mail address, then the six-character code the service mails to it. It draws its model
/// and starts the model's operations; everything it shows is the model's, redrawn on each change. Return in a field
/// presses the brass button ("Send code", "Verify") while it can be pressed; no button has a key of its own. Cancel
/// (or closing the sheet) runs onClose at any time; the request in flight still ends and updates the model.
class AccountSignInSheet final : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(AccountSignInSheet)

public:
    static constexpr int fixedWidth = 440;

    /// model must outlive the sheet.
    AccountSignInSheet(AccountSignInSheetModel& model, std::function<void()> onClose, QWidget* parent = nullptr);

    QString subtitle() const;
    QLineEdit* emailField() const { return m_emailField; }
    QLineEdit* codeField() const { return m_codeField; }
    /// The address at the top right of the code step, shortened in the middle when it does not fit.
    QString shownEmail() const;
    QAbstractButton* differentEmailLink() const { return m_differentEmail; }
    QAbstractButton* resendLink() const { return m_resend; }
    PrimaryBrassButton* primaryButton() const { return m_primary; }
    ui::SecondaryButton* cancelButton() const { return m_cancel; }
    /// The red banner's text; "" while it is hidden.
    QString errorText() const;
    /// The information line; "" while it is hidden.
    QString infoText() const;
    bool isCodeStepShown() const;

    /// Closing by the window or by Escape is a Cancel.
    void reject() override;

private:
    void render();
    void primaryPressed();

    AccountSignInSheetModel& m_model;
    std::function<void()> m_onClose;
    QLabel* m_subtitle = nullptr;
    QWidget* m_emailStep = nullptr;
    QLineEdit* m_emailField = nullptr;
    QWidget* m_codeStep = nullptr;
    QLabel* m_codeEmail = nullptr;
    QLineEdit* m_codeField = nullptr;
    QAbstractButton* m_differentEmail = nullptr;
    QAbstractButton* m_resend = nullptr;
    QWidget* m_errorBanner = nullptr;
    QLabel* m_errorLabel = nullptr;
    QLabel* m_info = nullptr;
    ui::SecondaryButton* m_cancel = nullptr;
    PrimaryBrassButton* m_primary = nullptr;
};

} // namespace murmeli::cloud
