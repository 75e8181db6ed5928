#include "res/Strings.h"

#include <QTest>

class TestStringTable : public QObject {
    Q_OBJECT
private slots:
    // Every entry has a text, and none carries a carriage return (lines end in "\n").
    void everyEntry() {
        QVERIFY(Strings::All().size() > 90);
        for (const auto& [name, text] : Strings::All()) {
            QVERIFY2(!text.isEmpty(), qPrintable(name));
            QVERIFY2(!text.contains(QLatin1Char('\r')), qPrintable(name));
        }
    }
    void exactTexts_data() {
        QTest::addColumn<QString>("actual");
        QTest::addColumn<QByteArray>("utf8");
        QTest::newRow("caption") << Strings::AppCaption << QByteArray("Cloffa");
        QTest::newRow("line feed")
            << Strings::FileListFetchFailed
            << QByteArray("\xed\x8c\x8c\xec\x9d\xbc \xeb\xaa\xa9\xeb\xa1\x9d\xec\x9d\x84 \xea\xb0\x80\xec"
                          "\xa0\xb8\xec\x98\xac \xec\x88\x98 \xec\x97\x86\xec\x8a\xb5\xeb\x8b\x88\xeb\x8b\xa4."
                          "\n\xec\x98\xa4\xeb\xa5\x98\xeb\xb2\x88\xed\x98\xb8 : %d");
        QTest::newRow("two trailing spaces") << Strings::DeleteQuestion.right(2) << QByteArray("  ");
        QTest::newRow("quoted name") << Strings::ReplaceQuestionFormat.left(4) << QByteArray("\"%s\"");
        // A filter the file dialog understands: every file, whatever its extensions.
        QTest::newRow("filter") << Strings::OpenFileFilter.right(4) << QByteArray(" (*)");
        // The refusal before sending a body the 32-bit length fields cannot hold.
        QTest::newRow("2 GB refusal") << Strings::UploadTooLarge.section(u'\n', 1)
                                      << QByteArray("2GB보다 작은 파일만 업로드할 수 있습니다.");
    }
    void exactTexts() {
        QFETCH(QString, actual);
        QFETCH(QByteArray, utf8);
        QCOMPARE(actual.toUtf8(), utf8);
    }
};

QTEST_GUILESS_MAIN(TestStringTable)
#include "tst_string_table.moc"
