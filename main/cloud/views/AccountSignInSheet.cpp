#include "main/cloud/views/AccountSignInSheet.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPainterPath>
#include <QVBoxLayout>

#include "main/cloud/account/AccountSignInSheetModel.h"
#include "main/cloud/views/PrimaryBrassButton.h"
#include "main/ui/design/Faces.h"
#include "main/ui/design/Tokens.h"
#include "main/ui/widgets/FocusRing.h"
#include "main/ui/widgets/KitButton.h"
#include "main/ui/widgets/KitLabel.h"
#include "main/ui/widgets/KitPainting.h"
#include "main/ui/widgets/SettingsDesign.h"

namespace murmeli::cloud {

namespace {

using Model = AccountSignInSheetModel;
using ui::KitLabel::make;
using ui::SettingsDesign::withOpacity;

constexpr int padding = 24;
constexpr int contentWidth = AccountSignInSheet::fixedWidth - 2 * padding;

// A plain text button in one colour, optionally underlined: the code step's two links.
class LinkButton final : public QAbstractButton {
public:
    LinkButton(const QString& text, const QFont& font, bool underline, QWidget* parent) : QAbstractButton(parent)
    {
        QFont shown = font;
        shown.setUnderline(underline);
        setFont(shown);
        setText(text);
        setCursor(Qt::PointingHandCursor);
    }

    void setColor(const QColor& color)
    {
        m_color = color;
        update();
    }
    QColor color() const { return m_color; }

    QSize sizeHint() const override
    {
        const QFontMetrics metrics(font());
        return { metrics.horizontalAdvance(text()), metrics.height() };
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setFont(font());
        painter.setPen(m_color);
        painter.drawText(rect(), Qt::AlignLeft | Qt::AlignVCenter, text());
    }

private:
    QColor m_color = ui::Color::vantorTextMuted;
};

// The red disc with an exclamation mark cut out of it, at the head of the error banner.
class AlertDisc final : public QWidget {
public:
    explicit AlertDisc(QWidget* parent) : QWidget(parent) { setFixedSize(size, size + 1); }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const qreal top = 1;
        QPainterPath disc;
        disc.addEllipse(QRectF(0, top, size, size));
        QPainterPath mark;
        const qreal stroke = size * 0.14;
        const qreal centre = size / 2.0;
        mark.addRoundedRect(
            QRectF(centre - stroke / 2, top + size * 0.22, stroke, size * 0.36), stroke / 2, stroke / 2);
        mark.addEllipse(QPointF(centre, top + size * 0.74), stroke * 0.65, stroke * 0.65);
        painter.fillPath(disc.subtracted(mark), ui::Color::vantorSignalRed);
    }

private:
    static constexpr int size = 13;
};

// The banner's red wash and hairline.
class BannerBox final : public QWidget {
public:
    explicit BannerBox(QWidget* parent) : QWidget(parent) { }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        ui::KitPainting::roundedBox(painter, QRectF(rect()), 8, withOpacity(ui::Color::vantorSignalRed, 0.12),
            withOpacity(ui::Color::vantorSignalRed, 0.3), 0.5);
    }
};

QFont fieldCaptionFont()
{
    QFont font = ui::Faces::instrumentSans(11, QFont::DemiBold);
    font.setLetterSpacing(QFont::AbsoluteSpacing, 1.2);
    return font;
}

QLabel* messageLabel(const QString& text, const QColor& color, QWidget* parent)
{
    QLabel* label = make(text, ui::Faces::instrumentSans(11, QFont::Normal), color, parent);
    label->setWordWrap(true);
    return label;
}

QVBoxLayout* stackOf(QWidget* box, int spacing)
{
    auto* layout = new QVBoxLayout(box);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(spacing);
    return layout;
}

// Writes the model's text into a field only when it differs, so typing keeps its cursor.
void showText(QLineEdit& field, const QString& text)
{
    if (field.text() != text) {
        field.setText(text);
    }
}

} // namespace

AccountSignInSheet::AccountSignInSheet(AccountSignInSheetModel& model, std::function<void()> onClose, QWidget* parent)
    : QDialog(parent), m_model(model), m_onClose(std::move(onClose))
{
    setWindowTitle(QStringLiteral("Sign in to murmeli Cloud"));
    ui::FocusRing::install(*this);
    setAutoFillBackground(true);
    // A window of its own takes nothing from the window it stands over; the fields follow the settings' dark scheme.
    QPalette palette = parent != nullptr ? parent->window()->palette() : this->palette();
    palette.setColor(QPalette::Window, ui::Color::vantorSurface);
    setPalette(palette);

    QVBoxLayout* layout = stackOf(this, 18);
    layout->setContentsMargins(padding, padding, padding, padding);

    auto* header = new QWidget(this);
    QVBoxLayout* headerStack = stackOf(header, 4);
    headerStack->addWidget(make(QStringLiteral("Sign in to murmeli Cloud"),
        ui::Faces::fraunces(20, QFont::Normal, true), ui::Color::vantorText, header));
    m_subtitle = make(QString(), ui::Faces::instrumentSans(12, QFont::Normal), ui::Color::vantorTextMuted, header);
    headerStack->addWidget(m_subtitle);
    layout->addWidget(header);

    m_emailStep = new QWidget(this);
    QVBoxLayout* emailStack = stackOf(m_emailStep, 8);
    emailStack->addWidget(make(QStringLiteral("Email"), fieldCaptionFont(), ui::Color::vantorTextMuted, m_emailStep));
    m_emailField = new QLineEdit(m_emailStep);
    m_emailField->setObjectName(QStringLiteral("email"));
    m_emailField->setPlaceholderText(QStringLiteral("you@example.com"));
    m_emailField->setFont(ui::Faces::instrumentSans(13, QFont::Normal));
    emailStack->addWidget(m_emailField);
    layout->addWidget(m_emailStep);

    m_codeStep = new QWidget(this);
    QVBoxLayout* codeStack = stackOf(m_codeStep, 8);
    auto* codeHead = new QHBoxLayout;
    codeHead->setSpacing(8);
    codeHead->addWidget(
        make(QStringLiteral("6-digit code"), fieldCaptionFont(), ui::Color::vantorTextMuted, m_codeStep));
    codeHead->addStretch(1);
    m_codeEmail = make(QString(), ui::Faces::instrumentSans(11, QFont::Normal), ui::Color::vantorTextMuted, m_codeStep);
    m_codeEmail->setObjectName(QStringLiteral("codeEmail"));
    codeHead->addWidget(m_codeEmail);
    codeStack->addLayout(codeHead);
    m_codeField = new QLineEdit(m_codeStep);
    m_codeField->setObjectName(QStringLiteral("code"));
    m_codeField->setPlaceholderText(QStringLiteral("123456"));
    QFont mono = ui::Faces::geistMono(15);
    mono.setStyleHint(QFont::TypeWriter);
    m_codeField->setFont(mono);
    codeStack->addWidget(m_codeField);
    auto* links = new QHBoxLayout;
    links->setSpacing(8);
    auto* different = new LinkButton(
        QStringLiteral("Use a different email"), ui::Faces::instrumentSans(11, QFont::Normal), true, m_codeStep);
    m_differentEmail = different;
    links->addWidget(m_differentEmail);
    links->addStretch(1);
    m_resend = new LinkButton(QString(), ui::Faces::instrumentSans(11, QFont::Medium), false, m_codeStep);
    m_resend->setObjectName(QStringLiteral("resend"));
    links->addWidget(m_resend);
    codeStack->addLayout(links);
    layout->addWidget(m_codeStep);

    m_errorBanner = new BannerBox(this);
    auto* bannerRow = new QHBoxLayout(m_errorBanner);
    bannerRow->setContentsMargins(12, 12, 12, 12);
    bannerRow->setSpacing(10);
    bannerRow->addWidget(new AlertDisc(m_errorBanner), 0, Qt::AlignTop);
    m_errorLabel = messageLabel(QString(), ui::Color::vantorText, m_errorBanner);
    bannerRow->addWidget(m_errorLabel, 1);
    layout->addWidget(m_errorBanner);
    m_info = messageLabel(QString(), ui::Color::vantorTextMuted, this);
    m_info->setContentsMargins(0, 2, 0, 2);
    layout->addWidget(m_info);

    auto* footer = new QHBoxLayout;
    m_cancel = new ui::SecondaryButton(QStringLiteral("Cancel"), [this] {
        if (m_onClose) {
            m_onClose();
        }
    });
    footer->addWidget(m_cancel);
    footer->addStretch(1);
    m_primary = new PrimaryBrassButton(QString(), [this] { primaryPressed(); });
    m_primary->setObjectName(QStringLiteral("primary"));
    footer->addWidget(m_primary);
    layout->addLayout(footer);

    connect(m_emailField, &QLineEdit::textEdited, this, [this](const QString& text) { m_model.setEmail(text); });
    connect(m_codeField, &QLineEdit::textEdited, this, [this](const QString& text) { m_model.setCode(text); });
    // Return in a field presses the button drawn as the default, while it can be pressed.
    for (QLineEdit* field : { m_emailField, m_codeField }) {
        connect(field, &QLineEdit::returnPressed, this, [this] {
            if (m_primary->isEnabled()) {
                primaryPressed();
            }
        });
    }
    connect(m_differentEmail, &QAbstractButton::clicked, this, [this] { m_model.backToEmail(); });
    connect(m_resend, &QAbstractButton::clicked, this, [this] {
        if (m_model.canResendCode()) {
            [[maybe_unused]] const QCoro::Task<> sending = m_model.sendCode();
        }
    });
    connect(&m_model, &AccountSignInSheetModel::changed, this, &AccountSignInSheet::render);
    render();
}

void AccountSignInSheet::reject()
{
    if (m_onClose) {
        m_onClose();
    }
}

QString AccountSignInSheet::subtitle() const
{
    return m_subtitle->text();
}

QString AccountSignInSheet::shownEmail() const
{
    return m_codeEmail->text();
}

QString AccountSignInSheet::errorText() const
{
    return m_errorBanner->isHidden() ? QString() : m_errorLabel->text();
}

QString AccountSignInSheet::infoText() const
{
    return m_info->isHidden() ? QString() : m_info->text();
}

bool AccountSignInSheet::isCodeStepShown() const
{
    return !m_codeStep->isHidden();
}

void AccountSignInSheet::primaryPressed()
{
    if (m_model.step() == Model::Step::Email) {
        [[maybe_unused]] const QCoro::Task<> sending = m_model.sendCode();
    } else {
        [[maybe_unused]] const QCoro::Task<> verifying = m_model.verify();
    }
}

void AccountSignInSheet::render()
{
    const bool codeStep = m_model.step() == Model::Step::Code;
    const Model::Phase phase = m_model.phase();
    m_subtitle->setText(codeStep ? QStringLiteral("Enter the 6-digit code from your email.")
                                 : QStringLiteral("Enter your email. We'll send a 6-digit code."));
    m_emailStep->setHidden(codeStep);
    m_codeStep->setHidden(!codeStep);

    showText(*m_emailField, m_model.email());
    m_emailField->setEnabled(phase != Model::Phase::Sending);
    showText(*m_codeField, m_model.code());
    m_codeField->setEnabled(phase != Model::Phase::Verifying);
    const QFontMetrics metrics(m_codeEmail->font());
    const int captionWidth = QFontMetrics(fieldCaptionFont()).horizontalAdvance(QStringLiteral("6-digit code"));
    m_codeEmail->setText(metrics.elidedText(m_model.email(), Qt::ElideMiddle, contentWidth - captionWidth - 24));

    auto* resend = static_cast<LinkButton*>(m_resend);
    resend->setText(m_model.cooldownSec() >= 1 ? QStringLiteral("Resend in %1s").arg(m_model.cooldownSec())
                                               : QStringLiteral("Resend code"));
    resend->setEnabled(m_model.canResendCode());
    resend->setColor(m_model.canResendCode() ? ui::Color::vantorBrass : ui::Color::vantorTextMuted);
    resend->updateGeometry();

    // At most one message, the error first.
    m_errorLabel->setText(m_model.errorText());
    m_errorBanner->setHidden(m_model.errorText().isEmpty());
    m_info->setText(m_model.infoText());
    m_info->setHidden(!m_model.errorText().isEmpty() || m_model.infoText().isEmpty());

    if (codeStep) {
        m_primary->setText(phase == Model::Phase::Verifying ? QStringLiteral("Verifying…") : QStringLiteral("Verify"));
        m_primary->setEnabled(m_model.canVerify());
    } else {
        m_primary->setText(phase == Model::Phase::Sending ? QStringLiteral("Sending…") : QStringLiteral("Send code"));
        m_primary->setEnabled(m_model.canSendCode());
    }
    m_primary->updateGeometry();
    // As tall as the content at the fixed width, and a size the window manager cannot stretch.
    layout()->activate();
    QLayout& stack = *layout();
    setFixedSize(fixedWidth, stack.hasHeightForWidth() ? stack.totalHeightForWidth(fixedWidth) : sizeHint().height());
}

} // namespace murmeli::cloud
