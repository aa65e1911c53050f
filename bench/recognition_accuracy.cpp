// Word accuracy (1 - WER over all words, lower case, punctuation stripped) and real-time factor of the on-device
// recogniser, per synthetic voice, on sentences of dictation to a coding agent (with and without the developer words
// that the stock model lacks) and everyday ones, in three set-ups:
//   as before    the stock model, a decoder loaded per take, normalisation from the model's stored mean
//   take mean    the stock model, normalisation from each take's own mean
//   dictation    the take's mean, the dictation model mixed in and the developer dictionary (what murmeli ships)
// The sentences are split in two halves: "tuning" was used to choose the settings, "held-out" (the default) was not,
// and neither is in the dictation model's text; the share of the held-out word triples that the text holds is
// printed as well. The held-out half also has flite and festival say developer words the other way developers say
// them ("redis" as ree-dis), and counts how many of those words are heard. A voice that is not installed is named
// with the reason and left out of every figure.
//   recognition_accuracy [held-out|tuning] [THREADS=4]

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <functional>
#include <map>
#include <set>
#include <thread>
#include <variant>
#include <vector>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "platform/recognizer/pocketsphinx/DecoderInput.h"
#include "platform/recognizer/pocketsphinx/PocketsphinxDecoder.h"
#include "tests/support/SpokenAudio.h"

using namespace murmeli;
using namespace murmeli::platform;
using Spoken = murmeli::test::SpokenAudio::Speaker;
namespace SpokenAudio = murmeli::test::SpokenAudio;

namespace {

// Words said otherwise are counted on their own line, not in the table.
enum class Kind { Dictation, Developer, Everyday, SaidOtherwise };
constexpr Kind kKinds[] = { Kind::Dictation, Kind::Developer, Kind::Everyday };

struct Sentence final {
    QString text;
    Kind kind = Kind::Dictation;
    SpokenAudio::Pronunciation said;
};

// Written for this benchmark; none is a line of the dictation model's text.
const QStringList kHeldOutDictation { "can you add a test for the login page",
    "rename the config variable to something shorter", "the parser crashes when the file is empty",
    "run the linter on the source folder before you commit", "show me where the user model is defined",
    "move the database code into a new module", "the build takes too long on my laptop",
    "write a function that checks if the number is even", "why does the server return an empty list",
    "please update the readme with the new install steps", "delete the old branch after the merge",
    "add a flag that turns off the colors", "explain how the cache works",
    "the request fails when the token is missing", "fix the warning about the unused variable",
    "commit the fix and push it to the remote", "make the error message easier to understand",
    "read the json file and print the keys", "what happens if the input is negative",
    "split the function into smaller pieces", "check the npm version on this machine",
    "the tests pass but the app still crashes", "sort the results by date before you print them",
    "add a retry when the network call fails", "open the file that handles the routes",
    "replace the global variable with a parameter", "the yaml config has the wrong path",
    "run only the tests that failed last time", "write a short summary of this pull request",
    "keep the change small and do not touch the other files" };
// Each holds a word of the developer dictionary that the stock model does not know.
const QStringList kHeldOutDeveloper { "the postgres container on localhost will not start",
    "run mypy before you open the pull request", "rewrite the build script in typescript",
    "the kubernetes cluster is out of memory", "the nginx logs show a timeout",
    "can webpack split the bundle into chunks", "add a subcommand that prints the config",
    "put the api key in a dotenv file", "the redis cache never expires",
    "can you ssh to the build machine and check the disk", "send the warnings to stderr and the results to stdout",
    "make the user id a uuid", "the mutex around the queue is held too long", "the new module needs docstrings",
    "move the middleware into its own file", "the frontend shows the wrong timestamp",
    "the log levels should be an enum", "the sqlite database is locked during the tests", "run eslint with npx",
    "the oauth callback fails on localhost" };
const QStringList kHeldOutEveryday { "i will call you back in ten minutes", "the sky was clear all weekend",
    "can you remind me to buy milk", "my sister lives in a small town", "we had pasta for dinner last night",
    "the train leaves at seven in the morning", "please turn off the lights in the garage",
    "i forgot my keys at the office", "the movie was longer than i expected",
    "let us meet at the coffee shop after work" };
const QStringList kTuningDictation { "add a check that the list is not empty", "run the server on a different port",
    "the function should return the sum", "remove the print statements from the loop",
    "write a test that uses a temporary folder", "show me the errors from the last build",
    "the script fails when the path has spaces", "update the version in the package file",
    "can you make the output shorter", "rename the test file to match the class",
    "fix the bug where the count is wrong", "add a help message to the command", "push the changes to my branch",
    "install the package with pip", "why is the variable still null", "the docs do not mention this option",
    "move the constants to the top of the file", "add a comment that explains the regex",
    "use a dictionary instead of two lists", "check that the file exists before you read it",
    "the ci build is still red after the fix", "print the length of the string", "make the test use the mock server",
    "create a branch called feature login", "read the environment variable for the token",
    "what does the async keyword do here", "show me the last five commits", "the readme has a broken link",
    "increase the buffer size", "stop the tests after the first failure" };
const QStringList kTuningEveryday { "it is going to rain this afternoon", "i need to pick up the kids from school",
    "the cat is sleeping on the sofa", "we should go for a walk later", "my phone battery is almost empty",
    "the restaurant was full so we went home", "can you send me the photos from the trip", "the library opens at nine",
    "i like to read before i go to sleep", "the garden needs water" };

const std::vector<Spoken> kSpeakers {
    { Spoken::Program::EspeakNg, "" },
    { Spoken::Program::EspeakNg, "en-us" },
    { Spoken::Program::EspeakNg, "en-us+klatt" },
    { Spoken::Program::EspeakNg, "en-us+klatt4" },
    { Spoken::Program::Flite, "slt" },
    { Spoken::Program::Flite, "kal16" },
    { Spoken::Program::Flite, "awb" },
    { Spoken::Program::Flite, "rms" },
    { Spoken::Program::Festival, "kal_diphone" },
    { Spoken::Program::Festival, "ked_diphone" },
    { Spoken::Program::Festival, "cmu_us_slt_arctic_hts" },
};

enum class Setup { AsBefore, TakeMean, Dictation };
constexpr Setup kSetups[] = { Setup::AsBefore, Setup::TakeMean, Setup::Dictation };
constexpr const char* kSetupNames[] = { "as before", "take mean", "dictation" };

struct Take final {
    size_t speaker = 0;
    size_t sentence = 0;
    std::vector<std::int16_t> samples;
};

struct Score final {
    qsizetype edits = 0;
    qsizetype words = 0;
    double audioSeconds = 0;
    double decodeSeconds = 0;

    void add(const Score& other)
    {
        edits += other.edits;
        words += other.words;
        audioSeconds += other.audioSeconds;
        decodeSeconds += other.decodeSeconds;
    }
    double accuracy() const { return words ? 100.0 * (1.0 - static_cast<double>(edits) / words) : 0; }
    double realTime() const { return audioSeconds > 0 ? decodeSeconds / audioSeconds : 0; }
};

QString speechFolder()
{
    // bench/<exe> lies in <build>/bench; the source tree is named at build time. Another folder's models can be
    // measured against them (MURMELI_BENCH_SPEECH).
    return qEnvironmentVariable("MURMELI_BENCH_SPEECH", QStringLiteral(MURMELI_SOURCE_DIR "/Resources/speech"));
}

std::set<QString> tripleSet(const QStringList& lines)
{
    std::set<QString> triples;
    for (const QString& line : lines) {
        const QStringList words = line.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        for (qsizetype i = 0; i + 2 < words.size(); ++i) {
            triples.insert(words.mid(i, 3).join(QLatin1Char(' ')));
        }
    }
    return triples;
}

void reportOverlap(const std::vector<Sentence>& sentences)
{
    QFile text(speechFolder() + QStringLiteral("/dictation.txt"));
    if (!text.open(QIODevice::ReadOnly)) {
        std::printf("(the dictation model's text is not at %s)\n", qPrintable(text.fileName()));
        return;
    }
    const QStringList lines = QString::fromUtf8(text.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    const std::set<QString> known = tripleSet(lines);
    QStringList scored;
    int sameLines = 0;
    for (const Sentence& sentence : sentences) {
        scored << sentence.text;
        sameLines += lines.contains(sentence.text) ? 1 : 0;
    }
    const std::set<QString> triples = tripleSet(scored);
    const auto shared = std::count_if(triples.begin(), triples.end(), [&](const QString& t) { return known.count(t); });
    std::printf("dictation model text: %lld lines; scored sentences found in it: %d; scored word triples in it: "
                "%lld of %zu (%.1f %%)\n",
        static_cast<long long>(lines.size()), sameLines, static_cast<long long>(shared), triples.size(),
        triples.empty() ? 0.0 : 100.0 * static_cast<double>(shared) / static_cast<double>(triples.size()));
}

std::set<QString> dictionaryWords()
{
    std::set<QString> words;
    QFile dictionary(speechFolder() + QStringLiteral("/developer.dict"));
    if (dictionary.open(QIODevice::ReadOnly)) {
        for (const QByteArray& line : dictionary.readAll().split('\n')) {
            words.insert(QString::fromUtf8(line.split(' ').constFirst().split('(').constFirst()));
        }
    }
    return words;
}

double seconds(std::chrono::steady_clock::duration d)
{
    return std::chrono::duration<double>(d).count();
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const bool tuning = app.arguments().value(1) == QStringLiteral("tuning");
    const int threads = std::max(1, app.arguments().value(2, QStringLiteral("4")).toInt());
    const PocketsphinxModel stock = PocketsphinxModel::installed();
    const PocketsphinxModel dictation = stock.withDictation(speechFolder());
    if (const QString missing = dictation.missingFile(); !missing.isEmpty()) {
        std::fprintf(stderr, "recognition_accuracy: %s is missing\n", qPrintable(missing));
        return 1;
    }
    const std::map<Kind, QStringList> chosen { { Kind::Dictation, tuning ? kTuningDictation : kHeldOutDictation },
        { Kind::Developer, tuning ? QStringList() : kHeldOutDeveloper },
        { Kind::Everyday, tuning ? kTuningEveryday : kHeldOutEveryday } };
    std::vector<Sentence> sentences;
    for (const auto& [kind, texts] : chosen) {
        for (const QString& text : texts) {
            sentences.push_back({ text, kind, {} });
        }
    }
    std::printf("sentences: %s half, %zu (%lld of dictation to an agent, %lld more with developer words, %lld "
                "everyday)\n",
        tuning ? "tuning" : "held-out", sentences.size(), static_cast<long long>(chosen.at(Kind::Dictation).size()),
        static_cast<long long>(chosen.at(Kind::Developer).size()),
        static_cast<long long>(chosen.at(Kind::Everyday).size()));
    if (!tuning) {
        for (const SpokenAudio::SaidOtherwise& other : SpokenAudio::developerWordsSaidOtherwise()) {
            sentences.push_back({ other.sentence, Kind::SaidOtherwise, other.said });
        }
        std::printf("and %lld with a developer word said the other way developers say it, for flite and festival\n",
            static_cast<long long>(SpokenAudio::developerWordsSaidOtherwise().size()));
    }
    reportOverlap(sentences);

    // Every sentence in every voice, spoken in parallel.
    QTemporaryDir scratch;
    std::vector<Take> takes;
    for (size_t s = 0; s < kSpeakers.size(); ++s) {
        for (size_t i = 0; i < sentences.size(); ++i) {
            // espeak-ng is told no pronunciations.
            if (sentences[i].kind != Kind::SaidOtherwise || kSpeakers[s].program != Spoken::Program::EspeakNg) {
                takes.push_back({ s, i, {} });
            }
        }
    }
    std::vector<bool> voiceMissing(kSpeakers.size(), false);
    std::vector<QString> whyMissing(kSpeakers.size());
    {
        std::atomic<size_t> next = 0;
        std::vector<std::thread> workers;
        std::vector<QString> failures(takes.size());
        for (int t = 0; t < threads * 2; ++t) {
            workers.emplace_back([&] {
                for (size_t i = next++; i < takes.size(); i = next++) {
                    Take& take = takes[i];
                    const QString path = scratch.filePath(QStringLiteral("%1.wav").arg(i));
                    const Sentence& sentence = sentences[take.sentence];
                    failures[i] = SpokenAudio::speak(kSpeakers[take.speaker], sentence.text, path,
                        sentence.kind == Kind::SaidOtherwise ? QList { sentence.said }
                                                             : QList<SpokenAudio::Pronunciation> {});
                    if (failures[i].isEmpty()) {
                        auto input = DecoderInput::load(RecognitionRequest::forFile(path, QStringLiteral("en-US")));
                        if (auto* pcm = std::get_if<MonoPcm>(&input)) {
                            take.samples = std::move(pcm->samples);
                        }
                    }
                }
            });
        }
        for (std::thread& worker : workers) {
            worker.join();
        }
        for (size_t i = 0; i < takes.size(); ++i) {
            if (!failures[i].isEmpty() || takes[i].samples.empty()) {
                voiceMissing[takes[i].speaker] = true;
                QString& why = whyMissing[takes[i].speaker];
                why = why.isEmpty() ? failures[i].trimmed() : why;
            }
        }
    }

    // score[setup][speaker][kind]
    std::vector<std::vector<std::map<Kind, Score>>> score(
        std::size(kSetups), std::vector<std::map<Kind, Score>>(kSpeakers.size()));
    std::vector<std::vector<QString>> heard(std::size(kSetups), std::vector<QString>(takes.size()));
    for (size_t k = 0; k < std::size(kSetups); ++k) {
        const Setup setup = kSetups[k];
        std::atomic<size_t> next = 0;
        std::vector<std::thread> workers;
        std::vector<std::vector<std::map<Kind, Score>>> parts(
            static_cast<size_t>(threads), std::vector<std::map<Kind, Score>>(kSpeakers.size()));
        for (int t = 0; t < threads; ++t) {
            workers.emplace_back([&, t] {
                std::unique_ptr<PocketsphinxDecoder> kept;
                for (size_t i = next++; i < takes.size(); i = next++) {
                    const Take& take = takes[i];
                    if (voiceMissing[take.speaker]) {
                        continue;
                    }
                    // As before, every take loaded the model afresh, so its normalisation began at the stored mean.
                    std::unique_ptr<PocketsphinxDecoder> fresh;
                    if (setup == Setup::AsBefore) {
                        fresh = std::make_unique<PocketsphinxDecoder>(stock);
                    } else if (!kept) {
                        kept = std::make_unique<PocketsphinxDecoder>(setup == Setup::Dictation ? dictation : stock);
                    }
                    PocketsphinxDecoder& decoder = fresh ? *fresh : *kept;
                    decoder.normaliseByTakeMean = setup != Setup::AsBefore;
                    QString text;
                    const auto began = std::chrono::steady_clock::now();
                    decoder.decode(take.samples, text);
                    const double spent = seconds(std::chrono::steady_clock::now() - began);
                    const auto errors = SpokenAudio::wordErrors(sentences[take.sentence].text, text);
                    heard[k][i] = text;
                    parts[static_cast<size_t>(t)][take.speaker][sentences[take.sentence].kind].add(
                        { errors.edits, errors.words, static_cast<double>(take.samples.size()) / 16000.0, spent });
                }
            });
        }
        for (std::thread& worker : workers) {
            worker.join();
        }
        for (const auto& part : parts) {
            for (size_t s = 0; s < kSpeakers.size(); ++s) {
                for (const auto& [kind, value] : part[s]) {
                    score[k][s][kind].add(value);
                }
            }
        }
    }

    std::printf("\nword accuracy %% (dictation sentences / with developer words / everyday sentences) and real-time "
                "factor, per voice\n");
    std::printf("%-34s", "voice");
    for (const char* name : kSetupNames) {
        std::printf(" | %-30s", name);
    }
    std::printf("\n");
    const auto row = [&](const char* name, const std::vector<size_t>& speakers) {
        std::printf("%-34s", name);
        for (size_t k = 0; k < std::size(kSetups); ++k) {
            Score all;
            std::printf(" |");
            for (const Kind kind : kKinds) {
                Score part;
                for (size_t s : speakers) {
                    part.add(score[k][s][kind]);
                }
                all.add(part);
                if (part.words) {
                    std::printf(" %5.1f", part.accuracy());
                } else {
                    std::printf("     -");
                }
            }
            std::printf("  %4.2fx      ", all.realTime());
        }
        std::printf("\n");
    };
    std::vector<size_t> espeak;
    std::vector<size_t> fliteFestival;
    std::vector<size_t> every;
    for (size_t s = 0; s < kSpeakers.size(); ++s) {
        if (voiceMissing[s]) {
            std::printf("%-34s | missing: %s\n", qPrintable(kSpeakers[s].name()),
                qPrintable(whyMissing[s].isEmpty() ? QStringLiteral("it spoke nothing") : whyMissing[s]));
            continue;
        }
        row(qPrintable(kSpeakers[s].name()), { s });
        (kSpeakers[s].program == Spoken::Program::EspeakNg ? espeak : fliteFestival).push_back(s);
        every.push_back(s);
    }
    row("all espeak-ng voices", espeak);
    row("all flite and festival voices", fliteFestival);
    row("all voices", every);
    if (every.size() < kSpeakers.size()) {
        std::printf("measured %zu of the %zu voices: the figures above leave out the missing ones (bash "
                    "scripts/setup --bench installs them)\n",
            every.size(), kSpeakers.size());
    }

    // The words themselves: a developer sentence can score well while its one developer word is still missed.
    const std::set<QString> developerWords = dictionaryWords();
    const auto countHeard = [&](Kind kind, const std::function<bool(const Sentence&, const QString&)>& counts) {
        for (size_t k = 0; k < std::size(kSetups); ++k) {
            int said = 0;
            int heardRight = 0;
            for (size_t i = 0; i < takes.size(); ++i) {
                const Sentence& sentence = sentences[takes[i].sentence];
                if (voiceMissing[takes[i].speaker] || sentence.kind != kind) {
                    continue;
                }
                const QStringList got = heard[k][i].split(QLatin1Char(' '), Qt::SkipEmptyParts);
                for (const QString& word : sentence.text.split(QLatin1Char(' '))) {
                    if (counts(sentence, word)) {
                        ++said;
                        heardRight += got.contains(word) ? 1 : 0;
                    }
                }
            }
            std::printf("%s %s %d of %d", k ? "," : "", kSetupNames[k], heardRight, said);
        }
        std::printf("\n");
    };
    std::printf("\ndeveloper dictionary words heard in the sentences with developer words, %zu voices:", every.size());
    countHeard(Kind::Developer, [&](const Sentence&, const QString& word) { return developerWords.count(word) > 0; });
    if (!tuning) {
        std::printf("developer words said the other way developers say them (\"redis\" as ree-dis, ...), %zu flite and "
                    "festival voices:",
            fliteFestival.size());
        countHeard(Kind::SaidOtherwise,
            [](const Sentence& sentence, const QString& word) { return word == sentence.said.word; });
    }

    if (qEnvironmentVariableIsSet("MURMELI_BENCH_VERBOSE")) {
        for (size_t i = 0; i < takes.size(); ++i) {
            std::printf("%-28s %-58s -> %s\n", qPrintable(kSpeakers[takes[i].speaker].name()),
                qPrintable(sentences[takes[i].sentence].text), qPrintable(heard.back()[i]));
        }
    }
    return 0;
}
