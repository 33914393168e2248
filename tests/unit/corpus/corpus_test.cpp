// Every seed of the fuzzing corpora, and every prefix of it, through the same checks the
// fuzzing targets run: what was once found stays fixed in the ordinary test build too.

#include "decoder_checks.h"
#include "ini_checks.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

namespace {

struct Seed {
    QString name;
    QByteArray bytes;
};

QList<Seed> corpus(const char* target) {
    QList<Seed> seeds;
    const QDir dir(QStringLiteral(TARN_FUZZ_CORPUS_DIR "/") + QLatin1String(target));
    for (const QString& name : dir.entryList(QDir::Files, QDir::Name)) {
        QFile file(dir.filePath(name));
        if (file.open(QIODevice::ReadOnly))
            seeds.append({name, file.readAll()});
    }
    return seeds;
}

// Runs `check` on every seed and on every prefix of it, as a fuzzer's first cuts would.
template <typename Check> void replay(const QList<Seed>& seeds, Check check) {
    for (const Seed& seed : seeds) {
        for (qsizetype length = 0; length <= seed.bytes.size(); ++length) {
            const char* failure = check(seed.bytes.left(length));
            EXPECT_EQ(failure, nullptr)
                << seed.name.toStdString() << " cut to " << length << " bytes: " << failure;
        }
    }
}

} // namespace

TEST(FuzzCorpus, DecoderSeedsPassTheDecoderChecks) {
    const auto seeds = corpus("decoder");
    ASSERT_GE(seeds.size(), 5) << "corpus folder missing or emptied";
    replay(seeds, tarn::fuzz::checkDecoderChunk);
}

TEST(FuzzCorpus, IniSeedsPassTheProfileChecks) {
    const auto seeds = corpus("ini");
    ASSERT_GE(seeds.size(), 4) << "corpus folder missing or emptied";
    replay(seeds, tarn::fuzz::checkIniInput);
}

TEST(FuzzCorpus, EachTargetsSeedsAlsoHoldForTheOtherTarget) {
    // A profile seed is just bytes on the line to the decoder, and a frame is just a file.
    replay(corpus("ini"), tarn::fuzz::checkDecoderChunk);
    replay(corpus("decoder"), tarn::fuzz::checkIniInput);
}
