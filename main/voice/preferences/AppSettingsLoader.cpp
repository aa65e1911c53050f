#include "main/voice/preferences/AppSettingsLoader.h"

#include <QJsonDocument>
#include <QJsonObject>

#include "main/common/BoundedFile.h"

namespace murmeli::voice::AppSettingsLoader {

namespace {

bool isMissing(const QJsonValue& value)
{
    return value.isUndefined() || value.isNull();
}

// A whole number that fits in 64 bits; 1.5 or 1e300 is not one.
std::optional<qint64> integerValue(const QJsonValue& value)
{
    if (!value.isDouble()) {
        return std::nullopt;
    }
    const qint64 low = value.toInteger(0);
    return low == value.toInteger(1) ? std::optional(low) : std::nullopt;
}

std::optional<AppSettings> fail(QString* problem, const QString& reason)
{
    if (problem) {
        *problem = reason;
    }
    return std::nullopt;
}

} // namespace

QString configPath(const QString& homeDirectory)
{
    return QDir(homeDirectory).filePath(QStringLiteral(".murmeli/settings.json"));
}

std::optional<AppSettings> parse(const QByteArray& bytes, QString* problem)
{
    QJsonParseError error {};
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError) {
        return fail(problem, error.errorString() + QStringLiteral(" at offset ") + QString::number(error.offset));
    }
    if (!document.isObject()) {
        return fail(problem, QStringLiteral("the top level is not an object"));
    }
    const QJsonObject root = document.object();
    AppSettings settings = AppSettings::defaults();

    if (const QJsonValue version = root.value(QLatin1String(AppSettings::versionKey)); !isMissing(version)) {
        const std::optional<qint64> number = integerValue(version);
        if (!number) {
            return fail(problem, QStringLiteral("\"version\" is not an integer"));
        }
        settings.version = *number;
    }
    if (const QJsonValue enhance = root.value(QLatin1String(AppSettings::enhanceKey)); !isMissing(enhance)) {
        if (!enhance.isObject()) {
            return fail(problem, QStringLiteral("\"enhance\" is not an object"));
        }
        const QJsonValue promptTemplate
            = enhance.toObject().value(QLatin1String(AppSettings::EnhanceSettings::promptTemplateKey));
        if (!isMissing(promptTemplate)) {
            if (!promptTemplate.isString()) {
                return fail(problem, QStringLiteral("\"enhance\".\"prompt_template\" is not a string"));
            }
            settings.enhance.promptTemplate = promptTemplate.toString();
        }
    }
    return settings;
}

AppSettings load(const QString& path, const LogLine& onLog)
{
    const auto report = [&](const QString& reason) {
        onLog(QStringLiteral("[app-settings] failed to parse ") + path + QStringLiteral(": ") + reason
            + QStringLiteral(" — using defaults"));
        return AppSettings::defaults();
    };
    common::FileProblem readProblem = common::FileProblem::None;
    const std::optional<QByteArray> bytes = common::BoundedFile::read(path, maxFileBytes, &readProblem);
    if (readProblem == common::FileProblem::TooLarge) {
        return report(QStringLiteral("the file is larger than %1 bytes").arg(maxFileBytes));
    }
    if (!bytes) {
        return AppSettings::defaults();
    }
    QString problem;
    const std::optional<AppSettings> settings = parse(*bytes, &problem);
    return settings ? *settings : report(problem);
}

} // namespace murmeli::voice::AppSettingsLoader
