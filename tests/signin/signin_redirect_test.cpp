// The head of a request to the sign-in's loopback redirect, read from pieces split anywhere, and
// refused when it is not a request or longer than the bound.

#include "signin/HttpRequestHead.h"

#include <QTest>

using namespace pelmora;
using Status = signin::HttpRequestHead::Status;

class SignInRedirectTest : public QObject {
    Q_OBJECT
private slots:
    void headReadInPiecesSplitAnywhere_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QByteArray>("target");
        QTest::newRow("browser") << QByteArray("GET /?code=c%2F1&state=s HTTP/1.1\r\nHost: 127.0.0.1:5\r\n"
                                               "Accept: */*\r\n\r\n")
                                 << QByteArray("/?code=c%2F1&state=s");
        QTest::newRow("bare line feeds") << QByteArray("GET / HTTP/1.0\nHost: x\n\n") << QByteArray("/");
        QTest::newRow("no headers") << QByteArray("GET /x HTTP/1.1\r\n\r\n") << QByteArray("/x");
        QTest::newRow("not a request line") << QByteArray("GET /\r\nHost: x\r\n\r\n") << QByteArray();
        QTest::newRow("two spaces in the target")
            << QByteArray("GET /a b HTTP/1.1\r\n\r\n") << QByteArray();
        QTest::newRow("not HTTP/1") << QByteArray("GET / SPDY/3\r\n\r\n") << QByteArray();
        QTest::newRow("control characters in the method")
            << QByteArray("G\x01T / HTTP/1.1\r\n\r\n") << QByteArray();
    }
    // Every split in two, and byte by byte: the same answer, and none before the head's end.
    void headReadInPiecesSplitAnywhere()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QByteArray, target);
        const Status expected = target.isEmpty() ? Status::Invalid : Status::Complete;
        for (qsizetype split = 0; split <= bytes.size(); ++split) {
            signin::HttpRequestHead head;
            if (head.feed(QByteArrayView(bytes).first(split)) != Status::Incomplete)
                QVERIFY2(split == bytes.size(), qPrintable(QString::number(split)));
            QCOMPARE(head.feed(QByteArrayView(bytes).sliced(split)), expected);
            QCOMPARE(head.target(), target);
        }
        signin::HttpRequestHead head;
        for (qsizetype i = 0; i + 1 < bytes.size(); ++i)
            QCOMPARE(head.feed(QByteArrayView(bytes).sliced(i, 1)), Status::Incomplete);
        QCOMPARE(head.feed(QByteArrayView(bytes).last(1)), expected);
        QCOMPARE(head.feed("GET /other HTTP/1.1\r\n\r\n"), expected);
        QCOMPARE(head.target(), target);
    }

    // A head may fill the bound exactly; one byte more is refused, however it arrives, and
    // nothing after it is kept.
    void headIsBounded()
    {
        const QByteArray line = "GET /?state=";
        const QByteArray end = " HTTP/1.1\r\n\r\n";
        const QByteArray fits =
            line + QByteArray(signin::HttpRequestHead::kMaxBytes - line.size() - end.size(), 'a') + end;
        signin::HttpRequestHead exact;
        QCOMPARE(exact.feed(fits), Status::Complete);
        QCOMPARE(exact.target().size(), fits.size() - 4 - end.size());

        const QByteArray over = line + 'a' + fits.sliced(line.size());
        signin::HttpRequestHead whole;
        QCOMPARE(whole.feed(over), Status::Invalid);
        signin::HttpRequestHead endless;
        Status status = Status::Incomplete;
        for (int i = 0; i < 1000 && status == Status::Incomplete; ++i)
            status = endless.feed(QByteArray(1000, 'A'));
        QCOMPARE(status, Status::Invalid);
        QCOMPARE(endless.target(), QByteArray());
    }
};

QTEST_GUILESS_MAIN(SignInRedirectTest)
#include "signin_redirect_test.moc"
