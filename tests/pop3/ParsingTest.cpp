// Reading what the user typed as the server name, and the texts shown from a message's header.

#include "pop3/MessageHeader.h"
#include "pop3/ServerAddress.h"

#include <QTest>

using namespace pelmora::pop3;
using namespace Qt::StringLiterals;
using Security = ServerAddress::Security;

class ParsingTest : public QObject {
    Q_OBJECT
private slots:
    void serverNames_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<QString>("host");
        QTest::addColumn<int>("port");
        QTest::addColumn<bool>("implicitTls");
        QTest::newRow("host") << u"mail.example.jp"_s << true << u"mail.example.jp"_s << 110 << false;
        QTest::newRow("host:port") << u"127.0.0.1:1110"_s << true << u"127.0.0.1"_s << 1110 << false;
        QTest::newRow("spaces around") << u" mail.example.jp "_s << true << u"mail.example.jp"_s << 110 << false;
        QTest::newRow("pop3://") << u"pop3://mail.example.jp"_s << true << u"mail.example.jp"_s << 110 << false;
        QTest::newRow("POP3:// any case") << u"POP3://h:2110/"_s << true << u"h"_s << 2110 << false;
        QTest::newRow("pop3+starttls://") << u"POP3+STARTTLS://h:2110"_s << true << u"h"_s << 2110 << false;
        QTest::newRow("pop3s://") << u"pop3s://mail.example.jp"_s << true << u"mail.example.jp"_s << 995 << true;
        QTest::newRow("pop3s:// port") << u"pop3s://h:1995"_s << true << u"h"_s << 1995 << true;
        QTest::newRow("IPv6") << u"[::1]"_s << true << u"::1"_s << 110 << false;
        QTest::newRow("IPv6 port") << u"[::1]:110"_s << true << u"::1"_s << 110 << false;
        QTest::newRow("pop3s IPv6") << u"pop3s://[fe80::1]:996"_s << true << u"fe80::1"_s << 996 << true;
        QTest::newRow("empty") << u""_s << false << u""_s << 0 << false;
        QTest::newRow("scheme only") << u"pop3s://"_s << false << u""_s << 0 << false;
        QTest::newRow("empty port") << u"h:"_s << false << u""_s << 0 << false;
        QTest::newRow("port 0") << u"h:0"_s << false << u""_s << 0 << false;
        QTest::newRow("port too big") << u"h:65536"_s << false << u""_s << 0 << false;
        QTest::newRow("port not a number") << u"h:pop"_s << false << u""_s << 0 << false;
        QTest::newRow("signed port") << u"h:+110"_s << false << u""_s << 0 << false;
        QTest::newRow("bare IPv6") << u"::1"_s << false << u""_s << 0 << false;
        QTest::newRow("unclosed bracket") << u"[::1:110"_s << false << u""_s << 0 << false;
        QTest::newRow("bracketed name") << u"[mail.example.jp]"_s << false << u""_s << 0 << false;
        QTest::newRow("junk after bracket") << u"[::1]x"_s << false << u""_s << 0 << false;
        QTest::newRow("user@host") << u"user@h"_s << false << u""_s << 0 << false;
        QTest::newRow("space inside") << u"mail example"_s << false << u""_s << 0 << false;
        QTest::newRow("other scheme") << u"imap://h"_s << false << u""_s << 0 << false;
    }
    void serverNames()
    {
        QFETCH(QString, typed);
        QFETCH(bool, valid);
        const auto address = ServerAddress::parse(typed);
        QCOMPARE(address.has_value(), valid);
        if (!valid)
            return;
        QFETCH(QString, host);
        QFETCH(int, port);
        QFETCH(bool, implicitTls);
        QCOMPARE(address->host, host);
        QCOMPARE(int(address->port), port);
        QCOMPARE(address->security == Security::ImplicitTls, implicitTls);
    }

    void encodedWords_data()
    {
        QTest::addColumn<QByteArray>("raw");
        QTest::addColumn<QString>("text");
        QTest::newRow("plain") << QByteArray("Hello") << u"Hello"_s;
        QTest::newRow("ISO-2022-JP B") << QByteArray("=?ISO-2022-JP?B?GyRCJDMkcyRLJEEkTxsoQg==?=")
                                      << u"こんにちは"_s;
        QTest::newRow("UTF-8 Q") << QByteArray("=?utf-8?q?caf=C3=A9_au_lait?=") << u"café au lait"_s;
        QTest::newRow("Shift_JIS B") << QByteArray("=?Shift_JIS?B?k/qWe4zq?=") << u"日本語"_s;
        QTest::newRow("adjacent words joined")
            << QByteArray("=?UTF-8?B?5pel5pys?= \t =?UTF-8?B?6Kqe?= end") << u"日本語 end"_s;
        QTest::newRow("text around words")
            << QByteArray("Re: =?UTF-8?B?5pel5pys?= (2)") << u"Re: 日本 (2)"_s;
        QTest::newRow("language suffix") << QByteArray("=?UTF-8*ja?B?5pel?=") << u"日"_s;
        QTest::newRow("unknown charset falls back") << QByteArray("=?x-nonsense?Q?abc?=") << u"abc"_s;
        QTest::newRow("malformed kept")
            << QByteArray("=?UTF-8?X?abc?= =?UTF-8?B?***?=") << u"=?UTF-8?X?abc?= =?UTF-8?B?***?="_s;
        QTest::newRow("unterminated kept") << QByteArray("=?UTF-8?B?5pel") << u"=?UTF-8?B?5pel"_s;
        QTest::newRow("raw UTF-8") << QByteArray("日本語") << u"日本語"_s;
        QTest::newRow("raw Shift_JIS") << QByteArray("\x93\xfa\x96\x7b") << u"日本"_s;
        QTest::newRow("raw ISO-2022-JP") << QByteArray("\x1b$B$3$s\x1b(B") << u"こん"_s;
        // Japanese mail as mailers write it. The words' bytes were made with iconv and Python's
        // codecs from the texts on the right; Shift_JIS is Microsoft's CP932 in practice (NEC's
        // circled digits, IBM's kanji in either of their two places, the full-width tilde, the
        // half-width katakana).
        QTest::newRow("ISO-2022-JP name") << QByteArray("=?ISO-2022-JP?B?GyRCOzNFREJATzobKEI=?=")
                                          << u"山田太郎"_s;
        QTest::newRow("ISO-2022-JP subject")
            << QByteArray("=?iso-2022-jp?B?GyRCIVo9RU1XIVsycTVEJE4kKkNOJGkkOxsoQg==?=")
            << u"【重要】会議のお知らせ"_s;
        QTest::newRow("Shift_JIS with CP932's characters")
            << QByteArray("=?Shift_JIS?B?h0Du4Iu0gWDDvcQ=?= =?SHIFT_JIS?B?h0D7/Iu0gWDDvcQ=?=")
            << u"①髙橋～ﾃｽﾄ①髙橋～ﾃｽﾄ"_s;
        QTest::newRow("CP932 and Windows-31J labels")
            << QByteArray("=?CP932?B?l+mW2InUjnE=?= =?Windows-31J?B?l+mW2InUjnE=?=")
            << u"鈴木花子鈴木花子"_s;
        QTest::newRow("EUC-JP Q") << QByteArray("=?EUC-JP?Q?=C6=FC=CB=DC=B8=EC=A5=C6=A5=B9=A5=C8?=")
                                  << u"日本語テスト"_s;
        // Some mailers cut a long text into words in the middle of a character.
        QTest::newRow("UTF-8 character split over two words")
            << QByteArray("=?UTF-8?B?44Oa44M=?=\r\n =?utf-8?B?q+ODouODqQ==?=") << u"ペルモラ"_s;
        QTest::newRow("Q with bad escape") << QByteArray("=?UTF-8?Q?a=ZZb=4?=") << u"a=ZZb=4"_s;
    }
    void encodedWords()
    {
        QFETCH(QByteArray, raw);
        QFETCH(QString, text);
        QCOMPARE(decodeEncodedWords(raw), text);
    }

    // Who sent it, as one line of plain text: the name when there is one, else the address.
    void senderNames_data()
    {
        QTest::addColumn<QByteArray>("from");
        QTest::addColumn<QString>("shown");
        QTest::newRow("encoded name") << QByteArray("=?ISO-2022-JP?B?GyRCOzNFREJATzobKEI=?= <taro@example.jp>")
                                      << u"山田太郎"_s;
        QTest::newRow("quoted name with comma")
            << QByteArray("\"Suzuki, Hanako\" <hanako@example.jp>") << u"Suzuki, Hanako"_s;
        QTest::newRow("quoted name with quotes and angles")
            << QByteArray("\"a \\\"b\\\" <c@d>\" <e@f>") << u"a \"b\" <c@d>"_s;
        QTest::newRow("encoded word in quotes, as mailers write it")
            << QByteArray("\"=?UTF-8?B?44Oa44Or44Oi44Op?=\" <p@example.jp>") << u"ペルモラ"_s;
        QTest::newRow("address only") << QByteArray("taro@example.jp") << u"taro@example.jp"_s;
        QTest::newRow("address in angles") << QByteArray("<taro@example.jp>") << u"taro@example.jp"_s;
        QTest::newRow("empty name") << QByteArray("\"\" <x@example.jp>") << u"x@example.jp"_s;
        QTest::newRow("name in a comment") << QByteArray("taro@example.jp (Taro Yamada)")
                                           << u"Taro Yamada"_s;
        QTest::newRow("markup stays text") << QByteArray("\"<b>Boss</b>\" <boss@example.jp>")
                                           << u"<b>Boss</b>"_s;
        QTest::newRow("line breaks and escapes")
            << QByteArray("=?UTF-8?Q?Evil=0D=0ASubject:=1B[31m_x?= <e@example.jp>")
            << u"Evil Subject: [31m x"_s;
        // U+202E turns what follows around: "exe.gpj" would show as "jpg.exe".
        QTest::newRow("direction turned") << QByteArray("=?UTF-8?B?aW52b2ljZeKArmV4ZS5ncGo=?= <x@y>")
                                          << u"invoice exe.gpj"_s;
        QTest::newRow("empty") << QByteArray() << QString();
    }
    void senderNames()
    {
        QFETCH(QByteArray, from);
        QFETCH(QString, shown);
        QCOMPARE(senderName(from), shown);
        QCOMPARE(readHeaderTexts(QByteArray("Subject: s\r\nFrom: " + from + "\r\n")).sender, shown);
    }

    // Bounded: a long name is cut (never inside a character) and says so.
    void sendersAndLinesAreBounded()
    {
        const QString name = u"あ"_s.repeated(30) + u"😀"_s.repeated(50);
        const QString cut = senderName(QByteArray("=?UTF-8?B?" + name.toUtf8().toBase64() + "?= <a@b>"), 40);
        QCOMPARE(cut, u"あ"_s.repeated(30) + u"😀"_s.repeated(9) + u"…"_s);
        QCOMPARE(oneLine(u"a  b\t\tc "_s.repeated(3), 9), u"a b c a…"_s);
        QCOMPARE(oneLine(u"abc"_s, 3), u"abc"_s);
        QCOMPARE(oneLine(u"abcd"_s, 0), QString());
    }

    void headerFieldsFirstOccurrenceUnfolded()
    {
        const QByteArray header = "Received: from x\r\n\tby y\r\n"
                                  "subject: =?UTF-8?B?5pel5pys?=\r\n =?UTF-8?B?6Kqe?=\r\n"
                                  "From: Taro <taro@example.jp>\r\n"
                                  "X-Subject: not this\r\n"
                                  "Date: Mon, 1 Jan 2024 09:00:00 +0900\r\n"
                                  "Subject: second\r\n"
                                  "\r\n"
                                  "Date: in the body\r\n";
        const HeaderTexts texts = readHeaderTexts(header);
        QCOMPARE(texts.subject, u"日本語"_s);
        QCOMPARE(texts.from, u"Taro <taro@example.jp>"_s);
        QCOMPARE(texts.date, u"Mon, 1 Jan 2024 09:00:00 +0900"_s);
        QCOMPARE(headerField(header, "Received"), QByteArray("from x\tby y"));
        QCOMPARE(headerField(header, "Cc"), QByteArray());
        // Fields after the blank line are body text; LF-only headers read the same.
        QCOMPARE(headerField("A: 1\n\nB: 2\n", "B"), QByteArray());
        QCOMPARE(headerField("A: 1\nB: 2", "B"), QByteArray("2"));
    }

    // Anyone can send a message, so its header may be built to make decoding slow. Every shape
    // here is a megabyte: a decoder that is linear in the header reads each in milliseconds; one
    // that searches the rest of the header again for every "=?" needs minutes for the first shape
    // alone, and the test's time limit (tests/pop3/CMakeLists.txt) ends it.
    void hostileSubjectsDecodeInLinearTime_data()
    {
        QTest::addColumn<QByteArray>("subject");
        QTest::addColumn<QString>("text");
        constexpr qsizetype kRepeat = 1024 * 1024 / 8;
        const auto literal = [](const QByteArray& raw) { return QString::fromLatin1(raw); };
        const QByteArray unclosed = QByteArray("=?x").repeated(kRepeat);
        QTest::newRow("unclosed words") << unclosed << literal(unclosed);
        const QByteArray sharedEnd = QByteArray("=?x?B?*").repeated(kRepeat) + "?=";
        QTest::newRow("one end for every word") << sharedEnd << literal(sharedEnd);
        const QByteArray openQ = "=?utf-8?Q?" + QByteArray(8 * kRepeat, '=');
        QTest::newRow("endless Q text") << openQ << literal(openQ);
        const QByteArray ends = QByteArray("?=").repeated(4 * kRepeat);
        QTest::newRow("ends only") << ends << literal(ends);
        QTest::newRow("many tiny words")
            << QByteArray("=?x-unknown?Q?a?= ").repeated(kRepeat / 2)
            << QString(kRepeat / 2, u'a');
    }
    void hostileSubjectsDecodeInLinearTime()
    {
        QFETCH(QByteArray, subject);
        QFETCH(QString, text);
        const QByteArray header = "Subject: " + subject + "\r\n\r\n";
        QCOMPARE(readHeaderTexts(header).subject, text);
    }
};

QTEST_GUILESS_MAIN(ParsingTest)
#include "ParsingTest.moc"
