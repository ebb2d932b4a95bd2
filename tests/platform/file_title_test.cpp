#include "platform/adapters/system/PosixFileTitle.h"
#include "tests/profile/ProfileVectors.h"

#include <QTest>

using namespace Qt::StringLiterals;

namespace {

// Recorded Windows rows that a Linux file title answers differently, and why.
struct LinuxDifference {
    const char* id;
    const char* reason;
    bool rawPath; // run with the recorded path instead of its "/" form
    QByteArray ret;
    QByteArray out;
};

const QList<LinuxDifference> linuxDifferences = {
    {"gft_drive_only", "no drive letters on Linux: \"C:\" is a file name", false, "0"_ba, "C:"_ba},
    {"gft_star", "'*' may be part of a Linux file name", false, "0"_ba, "a*b.txt"_ba},
    {"gft_brackets", "'[' and ']' may be part of a Linux file name", false, "0"_ba, "a[1].txt"_ba},
    {"gft_sjis_trail_5c_name",
     "only '/' separates: a backslash, also as a CP932 trail byte, is part of the name", true,
     "0"_ba, "C:\\Tools\\\x83\\"_ba},
    {"gft_sjis_trail_5c_dir", "only '/' separates: the whole path is one name", true, "0"_ba,
     "C:\\\x95\\\\a.txt"_ba},
    {"gft_sjis_name_buf4", "a title that does not fit is not written; the size it needs is answered",
     false, "7"_ba, noNulMarker},
    {"gft_sjis_name_buf6", "a title that does not fit is not written; the size it needs is answered",
     false, "7"_ba, noNulMarker},
};

QByteArray titleText(const QByteArray& buffer)
{
    const qsizetype nul = buffer.indexOf('\0');
    return nul < 0 ? noNulMarker : buffer.left(nul);
}

} // namespace

class FileTitleTest : public QObject {
    Q_OBJECT

private slots:
    void title_data();
    void title();
    void differencesNameRealRows();

private:
    pelmora::platform::PosixFileTitle m_fileTitle;
};

void FileTitleTest::title_data()
{
    QTest::addColumn<QByteArray>("path");
    QTest::addColumn<int>("bufsize");
    QTest::addColumn<QByteArray>("ret");
    QTest::addColumn<QByteArray>("out");

    const QList<ProfileVector> vectors = loadProfileVectors();
    QVERIFY2(!vectors.isEmpty(), "tests/data/profile-vectors.tsv is missing");
    for (const ProfileVector& v : vectors) {
        if (v.func != "GFT")
            continue;
        const auto difference = std::find_if(linuxDifferences.begin(), linuxDifferences.end(),
                                             [&](const LinuxDifference& d) { return v.id == d.id; });
        const bool differs = difference != linuxDifferences.end();
        // The program hands the file title native paths (ProgramPaths turns "\" into "/"), so each
        // Windows path is asked in its "/" form.
        QByteArray path = v.arg;
        if (!differs || !difference->rawPath)
            path.replace('\\', '/');
        QTest::newRow(v.id.constData()) << path << v.bufsize << (differs ? difference->ret : v.ret)
                                        << (differs ? difference->out : v.out);
    }

    QTest::newRow("linux: UTF-8 name") << "/home/u/メール.ini"_ba << 260 << "0"_ba << "メール.ini"_ba;
    QTest::newRow("linux: backslash is a name byte") << "/tmp/a\\b.txt"_ba << 260 << "0"_ba
                                                     << "a\\b.txt"_ba;
    QTest::newRow("linux: relative name") << "Mailer"_ba << 7 << "0"_ba << "Mailer"_ba;
    QTest::newRow("linux: root") << "/"_ba << 260 << "-1"_ba << noNulMarker;
    QTest::newRow("linux: C string ends at NUL") << "/x/a\0/b"_ba << 260 << "0"_ba << "a"_ba;
    QTest::newRow("linux: size past 16 bits") << "/x/"_ba + QByteArray(40000, 'n') << 260 << "-1"_ba
                                              << noNulMarker;
}

void FileTitleTest::title()
{
    QFETCH(QByteArray, path);
    QFETCH(int, bufsize);
    QFETCH(QByteArray, ret);
    QFETCH(QByteArray, out);
    QByteArray buffer(bufsize, '\xAA');
    const std::int16_t answer = m_fileTitle.getFileTitle(
        std::string_view(path.constData(), static_cast<std::size_t>(path.size())),
        std::span<char>(buffer.data(), static_cast<std::size_t>(buffer.size())));
    QCOMPARE(QByteArray::number(answer), ret);
    QCOMPARE(titleText(buffer), out);
    if (answer != 0)
        QCOMPARE(buffer, QByteArray(bufsize, '\xAA')); // nothing written
}

void FileTitleTest::differencesNameRealRows()
{
    QList<QByteArray> ids;
    for (const ProfileVector& v : loadProfileVectors())
        ids.append(v.id);
    for (const LinuxDifference& d : linuxDifferences)
        QVERIFY2(ids.contains(d.id), d.id);
}

QTEST_GUILESS_MAIN(FileTitleTest)
#include "file_title_test.moc"
