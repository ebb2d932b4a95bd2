#include "ProfileVectors.h"

#include "platform/AtomicFile.h"
#include "profile/ProfileEngine.h"
#include "platform/adapters/system/Utf8Cp932Codec.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <csignal>
#include <functional>
#include <optional>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace Qt::StringLiterals;
using pelmora::profile::ProfileEngine;
using pelmora::platform::ProfileFiles;

namespace {

// Rows whose recorded answer we deliberately do not give, with what we answer instead.
struct Difference {
    const char* id;
    const char* reason;
    std::optional<QByteArray> arg = {};
    std::optional<QByteArray> ret = {};
    std::optional<QByteArray> out = {};
    std::optional<QByteArray> outRaw = {};
    std::optional<QByteArray> fileAfter = {};
};

const char* const bytesCopied =
    "a value cut to fit ends between two characters and the answer counts the bytes really copied; "
    "Windows answers the buffer size less one";

const QList<Difference> differences = {
    {"gps_q_trunc_buf7", "quotes come off before the cut, so a value that fits is never shortened",
     {}, "6"_ba, "abcdef"_ba, "abcdef\0"_ba},
    {"gps_utf8_bom_utf8_value", "the ANSI code page here is UTF-8: the value is not converted",
     {}, "6"_ba, "\xE6\x97\xA5\xE6\x9C\xAC"_ba, "\xE6\x97\xA5\xE6\x9C\xAC\0"_ba},
    {"gps_utf8_bom_sjis_value", "bytes after a UTF-8 byte order mark are read as they are",
     {}, "4"_ba, "\x93\xFA\x96{"_ba, "\x93\xFA\x96{\0"_ba},
    {"gps_sjis_buf6", bytesCopied, {}, "4"_ba, "\x82\xA0\x82\xA2"_ba, "\x82\xA0\x82\xA2\0"_ba},
    {"gps_sjis_buf4", bytesCopied, {}, "2"_ba, "\x82\xA0"_ba, "\x82\xA0\0"_ba},
    {"gps_sjis_buf2", bytesCopied, {}, "0"_ba, ""_ba, "\0"_ba},
    {"gps_sjis_mixed_buf3", bytesCopied, {}, "1"_ba, "a"_ba, "a\0"_ba},
    {"gps_sjis_mixed_buf5", bytesCopied, {}, "3"_ba, "a\x82\xA0"_ba, "a\x82\xA0\0"_ba},
    {"gps_sjis_buf256_val300", bytesCopied, {}, "254"_ba, QByteArray("\x82\xA0").repeated(127)},
    {"gps_sjis_default", bytesCopied, {}, "2"_ba, "\x96\xA2"_ba, "\x96\xA2\0"_ba},
    {"gps_sjis_invalid_lead_end", "bytes are copied as they are; Wine converts the lone lead byte",
     {}, "3"_ba, "ab\x82"_ba, "ab\x82\0"_ba},
    {"gps_keys_list_small", "a list that does not fit ends in two NULs at the buffer's end",
     {}, {}, {}, "Alpha\0\0\0"_ba},
    {"wps_add_key_before_blank_and_next_sec", "edit in place: the blank line stays",
     {}, {}, {}, {}, "[EXEINI]\r\nA=1\r\nC=3\r\n\r\n[Other]\r\nB=2\r\n"_ba},
    {"wps_add_key_multiple_blanks", "edit in place: the blank lines stay",
     {}, {}, {}, {}, "[EXEINI]\r\nA=1\r\nC=3\r\n\r\n\r\n[Other]\r\nB=2\r\n\r\n"_ba},
    {"wps_add_section_blank_end", "edit in place: a new section goes after everything",
     {}, {}, {}, {}, "[Other]\r\nB=2\r\n\r\n\r\n[EXEINI]\r\nC=3\r\n"_ba},
    {"wps_replace_keeps_layout", "edit in place: only the edited line changes",
     {}, {}, {}, {},
     "; header comment\r\n\r\n[EXEINI]\r\n  A  =  1  \r\n# hash line\r\nK=new\r\nplain line\r\n"
     "\r\n[Other]\r\nB=2\r\n"_ba},
    {"wps_lf_file_add", "edit in place: a new line takes the file's own line end",
     {}, {}, {}, {}, "[EXEINI]\nA=1\nB=2\n"_ba},
    {"wps_cr_file_add", "edit in place: a new line takes the file's own line end",
     {}, {}, {}, {}, "[EXEINI]\rA=1\rB=2\r"_ba},
    {"wps_global_keys_kept", "edit in place: lines before the first section stay",
     {}, {}, {}, {}, "G=1\r\n\r\n[EXEINI]\r\nA=1\r\nB=2\r\n"_ba},
    {"wps_utf8_bom_file", "the value is passed in this platform's ANSI, UTF-8",
     "\xE6\x97\xA5\xE6\x9C\xAC"_ba},
    {"wps_nul_before_section", "edit in place: a line holding NUL bytes stays",
     {}, {}, {}, {}, "junk\0junk\r\n[EXEINI]\r\nA=1\r\nB=2\r\n"_ba},
    {"wps_ctrl_z_end", "edit in place: ^Z is a blank line and stays at the end",
     {}, {}, {}, {}, "[EXEINI]\r\nA=1\r\nB=2\r\n\x1A"_ba},
};

const Difference* differenceFor(const QByteArray& id)
{
    for (const Difference& d : differences) {
        if (id == d.id)
            return &d;
    }
    return nullptr;
}

ProfileFiles::Text text(const QByteArray& field)
{
    if (field == nullMarker)
        return std::nullopt;
    return std::string_view(field.constData(), static_cast<std::size_t>(field.size()));
}

std::string_view view(const QByteArray& bytes)
{
    return {bytes.constData(), static_cast<std::size_t>(bytes.size())};
}

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : missingMarker;
}

bool writeAll(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

mode_t modeOf(const QString& path)
{
    struct stat info {};
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? (info.st_mode & 0777) : 0;
}

// What GPS leaves in the buffer: up to the first NUL, and everything written (pre-fill 0xAA).
QByteArray bufferText(const QByteArray& buffer)
{
    const qsizetype nul = buffer.indexOf('\0');
    return nul < 0 ? noNulMarker : buffer.left(nul);
}

QByteArray bufferWritten(QByteArray buffer)
{
    while (buffer.endsWith('\xAA'))
        buffer.chop(1);
    return buffer;
}

// Folder permissions do not hold back root, so as root the write runs in a child process that
// has become the unprivileged user "nobody".
enum UnprivilegedResult { WriteDone = 0, WriteRefused = 1, NoPrivilegeDrop = 2, ChildLost = 3 };

int runUnprivileged(const std::function<bool()>& write)
{
    if (::geteuid() != 0)
        return write() ? WriteDone : WriteRefused;
    const pid_t child = ::fork();
    if (child == 0) {
        if (::setgid(65534) != 0 || ::setuid(65534) != 0)
            ::_exit(NoPrivilegeDrop);
        ::_exit(write() ? WriteDone : WriteRefused);
    }
    int status = 0;
    if (child < 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status))
        return ChildLost;
    return WEXITSTATUS(status);
}

} // namespace

class ProfileEngineTest : public QObject {
    Q_OBJECT

private slots:
    void vectors_data();
    void vectors();
    void differencesNameRealRows();
    void edits_data();
    void edits();
    void valueCutAtUtf8Boundary();
    void shiftJisFileReadsThroughCodec();
    void utf16FileStaysUtf16();
    void newFilesAreOwnerOnly();
    void failedWriteKeepsOriginal();
    void writerKilledAtAnyMomentLeavesOldOrNew();
    void readOnlyFolderOrFileKeepsOriginal();
    void unreadablePathIsNeverReplaced();

private:
    ProfileEngine m_engine;
};

void ProfileEngineTest::vectors_data()
{
    QTest::addColumn<ProfileVector>("vector");
    const QList<ProfileVector> vectors = loadProfileVectors();
    QVERIFY2(vectors.size() > 150, "tests/data/profile-vectors.tsv is missing or cut short");
    for (const ProfileVector& v : vectors) {
        if (v.func != "GFT")
            QTest::newRow(v.id.constData()) << v;
    }
}

void ProfileEngineTest::vectors()
{
    QFETCH(ProfileVector, vector);
    const Difference* difference = differenceFor(vector.id);
    const bool artefact = vector.status == "wine-artefact";
    auto expected = [&](const std::optional<QByteArray> Difference::*field,
                        const QByteArray& recorded) {
        return difference && (difference->*field) ? *(difference->*field) : recorded;
    };
    const QByteArray arg = expected(&Difference::arg, vector.arg);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.path() + (vector.folderMissing ? u"/missing/test.ini"_s : u"/test.ini"_s);
    if (vector.fileBefore != missingMarker)
        QVERIFY(writeAll(path, vector.fileBefore));

    QByteArray ret;
    if (vector.func == "GPS") {
        QByteArray buffer(vector.bufsize, '\xAA');
        ret = QByteArray::number(m_engine.getPrivateProfileString(
            text(vector.section), text(vector.key), text(arg),
            std::span<char>(buffer.data(), static_cast<std::size_t>(buffer.size())), path));
        if (!artefact || (difference && difference->out)) {
            QCOMPARE(bufferText(buffer), expected(&Difference::out, vector.out));
            if (!artefact || difference->outRaw)
                QCOMPARE(bufferWritten(buffer), expected(&Difference::outRaw, vector.outRaw));
        }
    } else if (vector.func == "GPI") {
        ret = QByteArray::number(m_engine.getPrivateProfileInt(
            text(vector.section), text(vector.key), arg.toInt(), path));
    } else {
        QCOMPARE(vector.func, "WPS"_ba);
        ret = m_engine.writePrivateProfileString(text(vector.section), text(vector.key),
                                                 text(arg), path) ? "1"_ba : "0"_ba;
    }
    QCOMPARE(ret, expected(&Difference::ret, vector.ret));

    QByteArray fileAfter = expected(&Difference::fileAfter, vector.fileAfter);
    if (fileAfter == sameMarker)
        fileAfter = vector.fileBefore;
    if (!artefact)
        QCOMPARE(readAll(path), fileAfter);
    if (vector.folderMissing)
        QVERIFY(!QFileInfo::exists(dir.path() + u"/missing"_s));
}

void ProfileEngineTest::differencesNameRealRows()
{
    QList<QByteArray> ids;
    for (const ProfileVector& v : loadProfileVectors())
        ids.append(v.id);
    for (const Difference& d : differences)
        QVERIFY2(ids.contains(d.id), d.id);
}

// Edits of hand-made files: only the lines concerned change, and bad input gets a defined result.
void ProfileEngineTest::edits_data()
{
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QByteArray>("section");
    QTest::addColumn<QByteArray>("key");
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<QByteArray>("after");

    QTest::newRow("CR-only file, replace") << "[S]\rA=1\rB=2\r"_ba << "S"_ba << "A"_ba << "9"_ba
                                            << "[S]\rA=9\rB=2\r"_ba;
    QTest::newRow("CR-only file, delete") << "[S]\rA=1\rB=2\r"_ba << "S"_ba << "B"_ba << nullMarker
                                           << "[S]\rA=1\r"_ba;
    QTest::newRow("BOM kept on replace") << "\xEF\xBB\xBF[S]\r\nA=1\r\n"_ba << "S"_ba << "A"_ba
                                         << "2"_ba << "\xEF\xBB\xBF[S]\r\nA=2\r\n"_ba;
    QTest::newRow("BOM-only file") << "\xEF\xBB\xBF"_ba << "S"_ba << "A"_ba << "1"_ba
                                   << "\xEF\xBB\xBF[S]\r\nA=1\r\n"_ba;
    QTest::newRow("duplicate keys all deleted")
        << "[S]\r\nK=1\r\nK=2\r\n[T]\r\nK=3\r\n"_ba << "S"_ba << "K"_ba << nullMarker
        << "[S]\r\n[T]\r\nK=3\r\n"_ba;
    QTest::newRow("duplicate sections all deleted")
        << "[S]\r\nA=1\r\n[T]\r\nB=2\r\n[s]\r\nC=3\r\n"_ba << "S"_ba << nullMarker << "x"_ba
        << "[T]\r\nB=2\r\n"_ba;
    QTest::newRow("same value, other quoting: untouched")
        << "[S]\r\nK = \"v\" \r\n"_ba << "S"_ba << "K"_ba << "v"_ba << "[S]\r\nK = \"v\" \r\n"_ba;
    QTest::newRow("indented key rewritten plainly")
        << "[S]\r\n  K = old  \r\n;c\r\n"_ba << "S"_ba << "k"_ba << "new"_ba
        << "[S]\r\nK=new\r\n;c\r\n"_ba;
    QTest::newRow("CP932 trail byte 0x41 is not folded to 0x61")
        << "[S]\r\n\x83\x41=1\r\n"_ba << "S"_ba << "\x83\x61"_ba << "2"_ba
        << "[S]\r\n\x83\x41=1\r\n\x83\x61=2\r\n"_ba;
    QTest::newRow("section name ending in trail byte 0x5D")
        << "[\x83]]\r\nA=1\r\n[T]\r\n"_ba << "\x83]"_ba << "B"_ba << "2"_ba
        << "[\x83]]\r\nA=1\r\nB=2\r\n[T]\r\n"_ba;
    // A header names what lies up to the last ']' of its line; a line without one is no header.
    QTest::newRow("']' inside the name") << "[EXE]INI] ;x\r\nK=1\r\n"_ba << "EXE]INI"_ba << "K"_ba
                                         << "2"_ba << "[EXE]INI] ;x\r\nK=2\r\n"_ba;
    QTest::newRow("no ']': no section") << "[S\r\nK=1\r\n"_ba << "S"_ba << "K"_ba << "2"_ba
                                        << "[S\r\nK=1\r\n[S]\r\nK=2\r\n"_ba;
    QTest::newRow("no ']': lines stay in the section before")
        << "[S]\r\n[T\r\nK=1\r\n"_ba << "S"_ba << "K"_ba << "2"_ba << "[S]\r\n[T\r\nK=2\r\n"_ba;
    QTest::newRow("value longer than 255 bytes kept whole")
        << "[S]\r\n"_ba << "S"_ba << "K"_ba << QByteArray(300, 'x')
        << "[S]\r\nK="_ba + QByteArray(300, 'x') + "\r\n"_ba;
    QTest::newRow("delete in absent section: untouched")
        << "[S]\r\nA=1"_ba << "T"_ba << "A"_ba << nullMarker << "[S]\r\nA=1"_ba;
}

void ProfileEngineTest::edits()
{
    QFETCH(QByteArray, before);
    QFETCH(QByteArray, section);
    QFETCH(QByteArray, key);
    QFETCH(QByteArray, value);
    QFETCH(QByteArray, after);
    QTemporaryDir dir;
    const QString path = dir.path() + u"/edit.ini"_s;
    QVERIFY(writeAll(path, before));
    QVERIFY(m_engine.writePrivateProfileString(text(section), text(key), text(value), path));
    QCOMPARE(readAll(path), after);
    if (key != nullMarker && value != nullMarker) { // what was written reads back
        QByteArray buffer(value.size() + 1, '\0');
        const auto count = m_engine.getPrivateProfileString(
            view(section), view(key), "DEF", std::span<char>(buffer.data(), buffer.size()), path);
        QCOMPARE(buffer.left(count), value);
    }
}

void ProfileEngineTest::valueCutAtUtf8Boundary()
{
    // 'a' and 100 three-byte characters: 255 bytes would end inside the 85th character.
    const QByteArray value = "a"_ba + QByteArray("\xE6\x97\xA5").repeated(100);
    QTemporaryDir dir;
    const QString path = dir.path() + u"/long.ini"_s;
    QVERIFY(writeAll(path, "[S]\r\nK="_ba + value + "\r\n"_ba));
    QByteArray buffer(256, '\xAA');
    const auto count = m_engine.getPrivateProfileString(
        "S", "K", "", std::span<char>(buffer.data(), 256), path);
    QCOMPARE(count, 253u);
    QCOMPARE(bufferText(buffer), value.left(253));
}

void ProfileEngineTest::shiftJisFileReadsThroughCodec()
{
    // A file saved on Windows: "C:\メール\ソフト\Mailer.exe" (ー is 81 5B, ソ is 83 5C), "未設定",
    // half-width "ｱｲｳ", and the NEC circled one.
    const QByteArray file = "[EXEINI]\r\nMailer=C:\\\x83\x81\x81\x5B\x83\x8B\\\x83\x5C\x83\x74\x83\x67"
                            "\\Mailer.exe\r\nName=\x96\xA2\x90\xDD\x92\xE8\r\nKana=\xB1\xB2\xB3\r\n"
                            "[\x83\x81\x81\x5B\x83\x8B]\r\nN=\x87\x40\r\n"_ba;
    QTemporaryDir dir;
    const QString path = dir.path() + u"/sjis.ini"_s;
    QVERIFY(writeAll(path, file));
    const pelmora::platform::Utf8Cp932Codec codec;
    auto read = [&](const QByteArray& section, const char* key) {
        QByteArray buffer(256, '\0');
        const auto count = m_engine.getPrivateProfileString(
            view(section), key, "", std::span<char>(buffer.data(), 256), path);
        return codec.fromAnsi(QByteArrayView(buffer.constData(), count));
    };
    QCOMPARE(read("EXEINI", "Mailer"), u"C:\\メール\\ソフト\\Mailer.exe"_s);
    QCOMPARE(read("EXEINI", "Name"), u"未設定"_s);
    QCOMPARE(read("EXEINI", "Kana"), u"ｱｲｳ"_s);
    QCOMPARE(read("\x83\x81\x81\x5B\x83\x8B"_ba, "N"), u"①"_s);

    // A new value arrives in UTF-8; the Shift-JIS lines around it stay byte for byte.
    QVERIFY(m_engine.writePrivateProfileString("EXEINI", "Name", view(codec.toAnsi(u"山田"_s)), path));
    QByteArray expected = file;
    expected.replace("\x96\xA2\x90\xDD\x92\xE8"_ba, codec.toAnsi(u"山田"_s));
    QCOMPARE(readAll(path), expected);
    QCOMPARE(read("EXEINI", "Name"), u"山田"_s);
}

void ProfileEngineTest::utf16FileStaysUtf16()
{
    auto utf16 = [](const QString& text) -> QByteArray {
        return "\xFF\xFE"_ba + QByteArray(reinterpret_cast<const char*>(text.utf16()), text.size() * 2);
    };
    QTemporaryDir dir;
    const QString path = dir.path() + u"/unicode.ini"_s;
    QVERIFY(writeAll(path, utf16(u"[EXEINI]\r\nName=未設定\r\n"_s)));
    QByteArray buffer(64, '\0');
    const auto count = m_engine.getPrivateProfileString(
        "exeini", "name", "", std::span<char>(buffer.data(), 64), path);
    QCOMPARE(buffer.left(count), u"未設定"_s.toUtf8());
    QVERIFY(m_engine.writePrivateProfileString("EXEINI", "Port", "110", path));
    QCOMPARE(readAll(path), utf16(u"[EXEINI]\r\nName=未設定\r\nPort=110\r\n"_s));
}

void ProfileEngineTest::newFilesAreOwnerOnly()
{
    const mode_t previousMask = ::umask(022);
    QTemporaryDir dir;
    const QString created = dir.path() + u"/created.ini"_s;
    QVERIFY(m_engine.writePrivateProfileString("EXEINI", "Password", "secret", created));
    QCOMPARE(modeOf(created), mode_t(0600));
    QCOMPARE(readAll(created), "[EXEINI]\r\nPassword=secret\r\n"_ba);

    const QString helperCreated = dir.path() + u"/vbmail.ini"_s;
    QVERIFY(pelmora::platform::writeFileAtomically(helperCreated, "abc"));
    QCOMPARE(modeOf(helperCreated), mode_t(0600));

    // A file the user made keeps the mode the user gave it.
    const QString existing = dir.path() + u"/existing.ini"_s;
    QVERIFY(writeAll(existing, "[EXEINI]\r\n"_ba));
    QVERIFY(::chmod(QFile::encodeName(existing).constData(), 0644) == 0);
    QVERIFY(m_engine.writePrivateProfileString("EXEINI", "K", "v", existing));
    QCOMPARE(modeOf(existing), mode_t(0644));
    QVERIFY(pelmora::platform::writeFileAtomically(existing, "replaced"));
    QCOMPARE(modeOf(existing), mode_t(0644));
    QCOMPARE(readAll(existing), "replaced"_ba);
    ::umask(previousMask);
}

void ProfileEngineTest::failedWriteKeepsOriginal()
{
    // A file size limit makes the write of the temporary file fail part way (as a full disk
    // would), whoever runs the test; the limit is lifted again before any check.
    QTemporaryDir dir;
    const QString path = dir.path() + u"/settings.ini"_s;
    const QByteArray original = "[EXEINI]\r\nK=v\r\n"_ba;
    QVERIFY(writeAll(path, original));

    rlimit previous {};
    QVERIFY(::getrlimit(RLIMIT_FSIZE, &previous) == 0);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = previous;
    small.rlim_cur = 1024;
    QVERIFY(::setrlimit(RLIMIT_FSIZE, &small) == 0);
    const auto helperWrote = pelmora::platform::writeFileAtomically(path, QByteArray(4096, 'x'));
    const auto engineWrote = m_engine.writePrivateProfileString(
        "EXEINI", "K", std::string(4096, 'y'), path);
    ::setrlimit(RLIMIT_FSIZE, &previous);
    std::signal(SIGXFSZ, previousHandler);

    QVERIFY(!helperWrote);
    QVERIFY(!engineWrote);
    QCOMPARE(engineWrote.reason, qt_error_string(EFBIG)); // the system's words, for the user
    QCOMPARE(readAll(path), original);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{u"settings.ini"_s});
}

// A program killed while it saves (a logout, a crash, the power going) leaves the settings file
// whole: the old content or the new one, never a torn or empty file. A child process saves two
// contents in turn and is killed at varying moments.
void ProfileEngineTest::writerKilledAtAnyMomentLeavesOldOrNew()
{
    QTemporaryDir dir;
    const QString path = dir.path() + u"/ini.ini"_s;
    const QByteArray first = "[EXEINI]\r\n"_ba + QByteArray(256 * 1024, 'a') + "\r\n"_ba;
    const QByteArray second = "[EXEINI]\r\n"_ba + QByteArray(384 * 1024, 'b') + "\r\n"_ba;
    QVERIFY(writeAll(path, first));

    for (int round = 0; round < 40; ++round) {
        const pid_t writer = ::fork();
        QVERIFY(writer >= 0);
        if (writer == 0) {
            for (int i = 0;; ++i)
                (void)pelmora::platform::writeFileAtomically(path, i % 2 ? first : second);
        }
        ::usleep(useconds_t(1000 + round * 500));
        ::kill(writer, SIGKILL);
        ::waitpid(writer, nullptr, 0);
        const QByteArray now = readAll(path);
        QVERIFY2(now == first || now == second,
                 qPrintable(u"round %1: %2 bytes"_s.arg(round).arg(now.size())));
    }
}

void ProfileEngineTest::readOnlyFolderOrFileKeepsOriginal()
{
    QTemporaryDir dir;
    const QString path = dir.path() + u"/settings.ini"_s;
    QVERIFY(writeAll(path, "[EXEINI]\r\nK=v\r\n"_ba));
    QVERIFY(::chmod(QFile::encodeName(path).constData(), 0644) == 0);
    QVERIFY(::chmod(QFile::encodeName(dir.path()).constData(), 0555) == 0);
    const int result = runUnprivileged([&] {
        return bool(m_engine.writePrivateProfileString("EXEINI", "K", "new", path));
    });
    QCOMPARE(result, int(WriteRefused));

    // Nor is a read-only file replaced, even in a folder anyone may write to.
    QVERIFY(::chmod(QFile::encodeName(path).constData(), 0444) == 0);
    QVERIFY(::chmod(QFile::encodeName(dir.path()).constData(), 0777) == 0);
    const int fileResult = runUnprivileged([&] {
        return bool(m_engine.writePrivateProfileString("EXEINI", "K", "new", path));
    });
    ::chmod(QFile::encodeName(dir.path()).constData(), 0700);
    QCOMPARE(fileResult, int(WriteRefused));
    QCOMPARE(readAll(path), "[EXEINI]\r\nK=v\r\n"_ba);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{u"settings.ini"_s});
}

void ProfileEngineTest::unreadablePathIsNeverReplaced()
{
    // A folder where the file should be cannot be read, so it must not be replaced by a new file.
    QTemporaryDir dir;
    const QString path = dir.path() + u"/settings.ini"_s;
    QVERIFY(QDir(dir.path()).mkdir(u"settings.ini"_s));
    QVERIFY(!m_engine.writePrivateProfileString("EXEINI", "K", "v", path));
    QVERIFY(QFileInfo(path).isDir());
    QByteArray buffer(8, '\0');
    QCOMPARE(m_engine.getPrivateProfileString("EXEINI", "K", "DEF",
                                              std::span<char>(buffer.data(), 8), path), 3u);
    QCOMPARE(m_engine.getPrivateProfileInt("EXEINI", "K", 7, path), 7u);
}

QTEST_GUILESS_MAIN(ProfileEngineTest)
#include "profile_engine_test.moc"
