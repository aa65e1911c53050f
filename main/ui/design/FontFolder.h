#pragma once

#include <QString>
#include <QStringList>

namespace murmeli::ui {

/// What registering a folder of font files gave.
struct FontRegistration {
    /// The families the registered files belong to, sorted, each once.
    QStringList families;
    /// Font files the database refused.
    QStringList failedFiles;
    int registeredFiles = 0;
};

/// Registers every font file (.woff2, .woff, .otf, .ttf) directly in folder with the application's font database,
/// for this process only. Needs a QGuiApplication.
FontRegistration registerFontFolder(const QString& folder);

} // namespace murmeli::ui
