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

// The decoder adds the developer dictionary's lines one by one, after the stock ones, and drops without a word a line
// whose phones the model lacks, a second way of saying a word ("word(2)") that comes before the word itself, and a
// name given twice (a stock word keeps its own pronunciations).
TEST(PocketsphinxModelTest, EveryLineOfTheDeveloperDictionaryIsOneTheDecoderTakes)
{
    const auto speech
        = common::findResourceFolder(QCoreApplication::applicationFilePath(), common::ResourceFolder::Speech);
    ASSERT_TRUE(speech) << "no speech folder beside the tests";
    const PocketsphinxModel model = PocketsphinxModel::installed().withDictation(*speech);
    QFile stockFile(model.dictionaryPath);
    QFile developerFile(model.developerDictionaryPath);
    ASSERT_TRUE(stockFile.open(QIODevice::ReadOnly) && developerFile.open(QIODevice::ReadOnly))
        << "the US English model comes with pocketsphinx-en-us";
    std::set<QByteArray> phones;
    std::set<QByteArray> names;
    std::set<QByteArray> developerNames;
    for (const QByteArray& line : stockFile.readAll().split('\n')) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        names.insert(fields.constFirst());
        phones.insert(fields.begin() + 1, fields.end());
    }
    for (const QByteArray& line : developerFile.readAll().split('\n')) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.constFirst().isEmpty()) {
            continue;
        }
        const QByteArray& name = fields.constFirst();
        EXPECT_TRUE(developerNames.insert(name).second) << name.toStdString() << " twice";
        names.insert(name);
        EXPECT_TRUE(names.count(name.split('(').constFirst())) << name.toStdString() << " before its word";
        EXPECT_GT(fields.size(), 1) << name.toStdString() << " without phones";
        for (auto phone = fields.begin() + 1; phone != fields.end(); ++phone) {
            EXPECT_TRUE(phones.count(*phone)) << name.toStdString() << ": no phone " << phone->toStdString();
        }
    }
}

} // namespace
} // namespace murmeli::platform
