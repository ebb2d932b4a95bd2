// Runs the fuzz target over every file of the seed corpus as an ordinary program, so that the
// corpus is replayed by ctest with the normal compiler (no libFuzzer needed).
//
//   pop3_fuzz_corpus_replay [CORPUS_DIR]   (default: the seed corpus it was built with)

#include <QDir>
#include <QFile>

#include <cstdint>
#include <cstdio>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

int main(int argc, char** argv)
{
    if (argc > 2) {
        std::fprintf(stderr, "usage: %s [CORPUS_DIR]\n", argv[0]);
        return 2;
    }
    const QDir corpus(argc == 2 ? QString::fromLocal8Bit(argv[1])
                                : QString::fromUtf8(PELMORA_FUZZ_CORPUS_DIR));
    const auto files = corpus.entryList(QDir::Files);
    if (files.isEmpty()) {
        std::fprintf(stderr, "no corpus files in %s\n", qPrintable(corpus.path()));
        return 1;
    }
    for (const QString& name : files) {
        QFile file(corpus.filePath(name));
        if (!file.open(QIODevice::ReadOnly))
            return 1;
        const QByteArray bytes = file.readAll();
        LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                               std::size_t(bytes.size()));
    }
    std::printf("replayed %lld corpus files\n", static_cast<long long>(files.size()));
    return 0;
}
