#include "main/usage/CodexBarOutputParser.h"

#include <algorithm>
#include <cmath>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QLocale>

namespace murmeli::usage {

// How the tool's payload maps onto a provider row:
//   provider                                  -> providerID ("cli" is the tool's own error envelope: skipped)
//   usage.identity.loginMethod | loginMethod  -> plan
//   usage.primary   {usedPercent, resetsAt, resetDescription} -> primaryPercent, primaryResetsAt,
//                                                primaryResetDescription (pay-as-you-go providers put their
//                                                balance text there, with usedPercent 0)
//   no primary window: usage.providerCost {used, limit, currencyCode, balance} or credits.remaining
//                                             -> a balance text in primaryResetDescription
//   usage.secondary                           -> secondary
//   usage.tertiary                            -> first extra window, titled by rateWindowLabels.tertiary
//   usage.extraRateWindows[] {id, title, window, usageKnown} -> further extra windows (those whose usage is not
//                                                known would show a made-up percentage, so they are left out)
//   usage.updatedAt                           -> lastUpdate
// Payloads without a usage object (a failed provider carries "error" instead) give no row.

namespace {

using CodexBarWindow = CodexBarProviderUsage::WindowMini;

std::optional<QString> text(const QJsonValue& value)
{
    if (!value.isString()) {
        return std::nullopt;
    }
    const QString trimmed = value.toString().trimmed();
    if (trimmed.isEmpty()) {
        return std::nullopt;
    }
    return trimmed.left(CodexBarOutputParser::maxTextChars);
}

std::optional<QDateTime> date(const QJsonValue& value)
{
    if (!value.isString()) {
        return std::nullopt;
    }
    const QDateTime parsed = QDateTime::fromString(value.toString(), Qt::ISODateWithMs);
    if (!parsed.isValid()) {
        return std::nullopt;
    }
    return parsed.toUTC();
}

int percent(double value)
{
    // Some providers report raw over-quota figures; the row holds a share of the window.
    return static_cast<int>(std::lround(std::clamp(value, 0.0, 100.0)));
}

std::optional<CodexBarWindow> window(const QJsonValue& value)
{
    const QJsonObject object = value.toObject();
    if (!value.isObject() || !object.value(u"usedPercent").isDouble()) {
        return std::nullopt;
    }
    CodexBarWindow result;
    result.usedPercent = percent(object.value(u"usedPercent").toDouble());
    result.resetsAt = date(object.value(u"resetsAt"));
    result.resetDescription = text(object.value(u"resetDescription"));
    return result;
}

QString currencySign(const QString& code)
{
    const QString upper = code.toUpper();
    if (upper == u"USD") {
        return QStringLiteral("$");
    }
    if (upper == u"EUR") {
        return QStringLiteral("€");
    }
    if (upper == u"GBP") {
        return QStringLiteral("£");
    }
    if (upper == u"CNY" || upper == u"JPY") {
        return QStringLiteral("¥");
    }
    return upper.left(3) + u' ';
}

QString money(const QString& sign, double amount)
{
    return sign + QLocale::c().toString(amount, 'f', 2);
}

// The balance line of a provider that bills by use and so has no usage window.
std::optional<QString> balanceText(const QJsonObject& usage, const QJsonObject& payload)
{
    const QJsonObject cost = usage.value(u"providerCost").toObject();
    if (cost.value(u"used").isDouble()) {
        const QString sign = currencySign(cost.value(u"currencyCode").toString(QStringLiteral("USD")));
        if (cost.value(u"balance").isDouble()) {
            return money(sign, cost.value(u"balance").toDouble());
        }
        const double used = cost.value(u"used").toDouble();
        const double limit = cost.value(u"limit").toDouble();
        return limit > 0 ? money(sign, used) + QStringLiteral(" / ") + money(sign, limit) : money(sign, used);
    }
    const QJsonValue remaining = payload.value(u"credits").toObject().value(u"remaining");
    if (remaining.isDouble()) {
        return QLocale::c().toString(remaining.toDouble(), 'f', 1) + QStringLiteral(" credits");
    }
    return std::nullopt;
}

std::vector<CodexBarProviderUsage::ExtraRateWindow> extraWindows(const QJsonObject& usage, const QJsonObject& payload)
{
    std::vector<CodexBarProviderUsage::ExtraRateWindow> result;
    if (const auto tertiary = window(usage.value(u"tertiary"))) {
        const auto title = text(payload.value(u"rateWindowLabels").toObject().value(u"tertiary"));
        result.push_back({ QStringLiteral("tertiary"), title.value_or(QStringLiteral("Tertiary")), *tertiary });
    }
    for (const QJsonValue& entry : usage.value(u"extraRateWindows").toArray()) {
        const QJsonObject named = entry.toObject();
        const auto id = text(named.value(u"id"));
        const auto inner = window(named.value(u"window"));
        if (!id || !inner || named.value(u"usageKnown").toBool(true) == false
            || result.size() >= static_cast<size_t>(CodexBarOutputParser::maxExtraWindows)) {
            continue;
        }
        result.push_back({ *id, text(named.value(u"title")).value_or(*id), *inner });
    }
    return result;
}

std::optional<CodexBarProviderUsage> providerRow(const QJsonObject& payload)
{
    const auto provider = text(payload.value(u"provider"));
    const QJsonValue usageValue = payload.value(u"usage");
    if (!provider || *provider == u"cli" || !usageValue.isObject()) {
        return std::nullopt;
    }
    const QJsonObject usage = usageValue.toObject();
    CodexBarProviderUsage row;
    row.providerID = *provider;
    row.plan = text(usage.value(u"identity").toObject().value(u"loginMethod"));
    if (!row.plan) {
        row.plan = text(usage.value(u"loginMethod"));
    }
    if (const auto primary = window(usage.value(u"primary"))) {
        row.primaryPercent = primary->usedPercent;
        row.primaryResetsAt = primary->resetsAt;
        row.primaryResetDescription = primary->resetDescription;
    } else {
        row.primaryResetDescription = balanceText(usage, payload);
    }
    row.secondary = window(usage.value(u"secondary"));
    row.lastUpdate = date(usage.value(u"updatedAt"));
    if (auto extras = extraWindows(usage, payload); !extras.empty()) {
        row.extraRateWindows = std::move(extras);
    }
    return row;
}

} // namespace

std::optional<std::vector<CodexBarProviderUsage>> CodexBarOutputParser::parse(const QByteArray& output)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(output.trimmed(), &error);
    if (error.error != QJsonParseError::NoError) {
        return std::nullopt;
    }
    QJsonArray payloads;
    if (document.isArray()) {
        payloads = document.array();
    } else if (document.isObject()) {
        payloads.append(document.object());
    }
    std::vector<CodexBarProviderUsage> rows;
    for (const QJsonValue& payload : payloads) {
        if (rows.size() >= static_cast<size_t>(maxProviders)) {
            break;
        }
        if (auto row = providerRow(payload.toObject())) {
            rows.push_back(std::move(*row));
        }
    }
    if (rows.empty()) {
        return std::nullopt;
    }
    return rows;
}

} // namespace murmeli::usage
