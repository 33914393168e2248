// Every seed of the fuzzing corpora, and every prefix of it, through the checks of both fuzzing
// targets (a profile seed is just bytes on the line, a frame just a file): what was once found
// stays fixed in the ordinary test build too.

#include "decoder_checks.h"
#include "ini_checks.h"

#include <QDir>
#include <gtest/gtest.h>

TEST(FuzzCorpus, EverySeedAndPrefixPassesBothTargetsChecks) {
    for (const char* target : {"decoder", "ini"}) {
        const QDir dir(QStringLiteral(TARN_FUZZ_CORPUS_DIR "/") + target);
        ASSERT_GE(dir.entryList(QDir::Files).size(), 4) << "corpus folder missing or emptied";
        for (const QString& name : dir.entryList(QDir::Files)) {
            QFile file(dir.filePath(name));
            ASSERT_TRUE(file.open(QIODevice::ReadOnly));
            const QByteArray seed = file.readAll();
            for (qsizetype length = 0; length <= seed.size(); ++length) {
                for (const auto check : {tarn::fuzz::checkDecoder, tarn::fuzz::checkIni}) {
                    const char* failure = check(seed.left(length));
                    EXPECT_EQ(failure, nullptr) << name.toStdString() << " cut to " << length;
                }
            }
        }
    }
}
