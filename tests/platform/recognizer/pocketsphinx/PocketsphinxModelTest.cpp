#include "platform/recognizer/pocketsphinx/PocketsphinxModel.h"

#include <memory>
#include <set>

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <err.h>
#include <logmath.h>
#include <ngram_model.h>

#include "main/common/ResourcePaths.h"

namespace murmeli::platform {
namespace {

// The words of a pronunciation dictionary, alternatives ("word(2)") folded into their word.
std::set<QByteArray> dictionaryWords(const QString& path)
{
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << path.toStdString();
    std::set<QByteArray> words;
    for (const QByteArray& line : file.readAll().split('\n')) {
        const QByteArray word = line.split(' ').constFirst().split('(').constFirst();
        if (!word.isEmpty()) {
            words.insert(word);
        }
    }
    return words;
}

using LanguageModel = std::unique_ptr<ngram_model_t, decltype(&ngram_model_free)>;

LanguageModel readModel(const QString& path, logmath_t* logMath)
{
    return { ngram_model_read(nullptr, QFile::encodeName(path).constData(), NGRAM_AUTO, logMath), &ngram_model_free };
}

bool knows(const LanguageModel& model, const QByteArray& word)
{
    return ngram_wid(model.get(), word.constData()) != ngram_unknown_wid(model.get());
}

// The recogniser hears only words its language model holds, and only words it can pronounce: a developer word with
// no place in the model is never heard, and a model word without a pronunciation is dropped when the model is loaded.
TEST(PocketsphinxModelTest, EveryDeveloperWordHasAPlaceInALanguageModelAndEveryDictationWordAPronunciation)
{
    const auto speech
        = common::findResourceFolder(QCoreApplication::applicationFilePath(), common::ResourceFolder::Speech);
    ASSERT_TRUE(speech) << "no speech folder beside the tests";
    const PocketsphinxModel model = PocketsphinxModel::installed().withDictation(*speech);
    ASSERT_TRUE(model.isComplete()) << "missing: " << model.missingFile().toStdString()
                                    << " (the US English model comes with pocketsphinx-en-us)";

    // The committed model is the one the script makes from the committed sentences.
    QTemporaryDir scratch;
    const QString rebuilt = scratch.filePath(QStringLiteral("dictation.lm"));
    QProcess build;
    build.start(QStringLiteral(MURMELI_SOURCE_DIR "/scripts/build-dictation-model"),
        { *speech + QStringLiteral("/dictation.txt"), rebuilt });
    ASSERT_TRUE(build.waitForFinished(60000) && build.exitCode() == 0) << build.readAllStandardError().toStdString();
    QFile committed(model.dictationModelPath);
    QFile fresh(rebuilt);
    ASSERT_TRUE(committed.open(QIODevice::ReadOnly) && fresh.open(QIODevice::ReadOnly));
    EXPECT_TRUE(committed.readAll() == fresh.readAll()) << "dictation.lm is not built from dictation.txt";

    err_set_logfp(nullptr);
    const std::unique_ptr<logmath_t, decltype(&logmath_free)> logMath(logmath_init(1.0001, 0, 0), &logmath_free);
    const LanguageModel stock = readModel(model.languageModelPath, logMath.get());
    const LanguageModel dictation = readModel(model.dictationModelPath, logMath.get());
    ASSERT_TRUE(stock && dictation);

    const std::set<QByteArray> developer = dictionaryWords(model.developerDictionaryPath);
    ASSERT_FALSE(developer.empty());
    for (const QByteArray& word : developer) {
        EXPECT_TRUE(knows(stock, word) || knows(dictation, word)) << word.toStdString() << " is in no language model";
    }

    std::set<QByteArray> pronounced = dictionaryWords(model.dictionaryPath);
    pronounced.insert(developer.begin(), developer.end());
    for (uint32 wid = 0; wid < ngram_model_get_counts(dictation.get())[0]; ++wid) {
        const QByteArray word = ngram_word(dictation.get(), static_cast<int32>(wid));
        EXPECT_TRUE(word.startsWith('<') || pronounced.count(word)) << word.toStdString() << " has no pronunciation";
    }
}

} // namespace
} // namespace murmeli::platform
