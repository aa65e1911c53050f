#include "main/settings/views/pages/ProxyDialog.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "main/ui/design/Tokens.h"
#include "main/settings/ProxyInput.h"

namespace murmeli::settings {

ProxyDialog::ProxyDialog(const QString& host, int port, Save save, QWidget* parent)
    : QDialog(parent), m_saveAction(std::move(save))
{
    setWindowTitle(QStringLiteral("Enable WebSocket Proxy"));
    auto* layout = new QVBoxLayout(this);
    auto* message = new QLabel(QStringLiteral("Enable WebSocket Proxy"), this);
    QFont bold = message->font();
    bold.setBold(true);
    message->setFont(bold);
    layout->addWidget(message);
    auto* informative
        = new QLabel(QStringLiteral("Cloud streaming STT routes through this proxy. Useful when WebSocket "
                                    "is blocked (e.g. China mainland, corporate firewalls)."),
            this);
    informative->setWordWrap(true);
    layout->addWidget(informative);

    auto* fields = new QHBoxLayout;
    fields->addWidget(new QLabel(QStringLiteral("Host:"), this));
    m_host = new QLineEdit(host, this);
    m_host->setPlaceholderText(QStringLiteral("127.0.0.1"));
    m_host->setMinimumWidth(200);
    fields->addWidget(m_host);
    fields->addWidget(new QLabel(QStringLiteral("Port:"), this));
    m_port = new QLineEdit(port >= 1 ? QString::number(port) : QString(), this);
    m_port->setPlaceholderText(QStringLiteral("10080"));
    m_port->setMaximumWidth(70);
    fields->addWidget(m_port);
    layout->addLayout(fields);

    m_problem = new QLabel(this);
    m_problem->setWordWrap(true);
    m_problem->setStyleSheet(QStringLiteral("color: %1;").arg(ui::Color::vantorSignalRed.name()));
    m_problem->hide();
    layout->addWidget(m_problem);

    auto* buttons = new QDialogButtonBox(this);
    m_save = buttons->addButton(QStringLiteral("Save && Test"), QDialogButtonBox::AcceptRole);
    m_cancel = buttons->addButton(QStringLiteral("Cancel"), QDialogButtonBox::RejectRole);
    m_save->setDefault(true);
    connect(m_save, &QPushButton::clicked, this, &ProxyDialog::trySave);
    connect(m_cancel, &QPushButton::clicked, this, &QDialog::reject);
    layout->addWidget(buttons);
    m_host->setFocus();
}

QString ProxyDialog::problem() const
{
    return m_problem->isHidden() ? QString() : m_problem->text();
}

void ProxyDialog::trySave()
{
    const ProxyInput input = ProxyInput::parse(m_host->text(), m_port->text());
    if (const std::optional<QString> refused = m_saveAction(input.host, input.port)) {
        m_problem->setText(*refused);
        m_problem->show();
        return;
    }
    accept();
}

} // namespace murmeli::settings
