#include "decimaltext.h"
#include "settingsfile.h"

#include <QJSEngine>
#include <QJsonDocument>
#include <QTemporaryDir>
#include <QtTest>

class tst_Common : public QObject
{
    Q_OBJECT

private slots:
    void decimalText_data();
    void decimalText();
    void readObject_data();
    void readObject();
    void keepAsideReplacesAnOlderCopy();
    void writeObject();
    void mapFromQml();

private:
    QTemporaryDir dir;
};

void tst_Common::decimalText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("locale");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<double>("value");

    QTest::newRow("point") << "2.5" << "C" << true << 2.5;
    QTest::newRow("comma under C") << "2,50" << "C" << true << 2.5;
    QTest::newRow("point under German") << "2.50" << "de_DE" << true << 2.5;
    QTest::newRow("blanks and sign") << "  -0,25 " << "C" << true << -0.25;
    QTest::newRow("bare separator") << ",5" << "C" << true << 0.5;
    // Both separators would read as a wrong number either way.
    QTest::newRow("group and decimal") << "1,000.5" << "C" << false << 0.0;
    QTest::newRow("German group") << "1.000,5" << "de_DE" << false << 0.0;
    QTest::newRow("two commas") << "1,2,3" << "C" << false << 0.0;
    QTest::newRow("locale digits") << QString::fromUtf8("٢٫٥") << "ar_EG" << true << 2.5;
    QTest::newRow("infinity") << "inf" << "C" << false << 0.0;
    QTest::newRow("not a number") << "nan" << "C" << false << 0.0;
    QTest::newRow("word") << "ramp" << "C" << false << 0.0;
    QTest::newRow("empty") << "" << "C" << false << 0.0;
}

void tst_Common::decimalText()
{
    QFETCH(QString, text);
    QFETCH(QString, locale);
    QFETCH(bool, ok);
    QFETCH(double, value);

    bool parsed = !ok;
    QCOMPARE(DecimalText::parse(text, &parsed, QLocale(locale)), value);
    QCOMPARE(parsed, ok);
}

void tst_Common::readObject_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<int>("result");
    QTest::addColumn<QString>("problem");

    const int limit = 64;
    const QByteArray atLimit = "{\"k\": \"" + QByteArray(limit - 9, 'x') + "\"}";
    QCOMPARE(atLimit.size(), limit);
    QTest::newRow("object") << QByteArray("{\"k\": 1}") << int(SettingsFile::ReadResult::Loaded) << "";
    QTest::newRow("object of the largest size") << atLimit << int(SettingsFile::ReadResult::Loaded) << "";
    QTest::newRow("a byte too large") << atLimit + " " << int(SettingsFile::ReadResult::Unusable)
                                      << "the file is larger than 64 bytes";
    QTest::newRow("array") << QByteArray("[1]") << int(SettingsFile::ReadResult::Unusable)
                           << "the file holds no JSON object";
    QTest::newRow("cut short") << QByteArray("{\"k\": ") << int(SettingsFile::ReadResult::Unusable)
                               << "at offset 6";
    QTest::newRow("empty") << QByteArray() << int(SettingsFile::ReadResult::Unusable) << "at offset 0";
}

void tst_Common::readObject()
{
    QFETCH(QByteArray, content);
    QFETCH(int, result);
    QFETCH(QString, problem);

    const QString path = dir.filePath(QStringLiteral("read.json"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(content), qint64(content.size()));
    file.close();

    QJsonObject object;
    QString text;
    QCOMPARE(int(SettingsFile::readObject(path, 64, &object, &text)), result);
    QVERIFY2(problem.isEmpty() ? text.isEmpty() : text.endsWith(problem), qPrintable(text));
    if (result == int(SettingsFile::ReadResult::Loaded))
        QCOMPARE(QJsonDocument(object).toJson(QJsonDocument::Compact), QJsonDocument::fromJson(content).toJson(QJsonDocument::Compact));
    else
        QVERIFY(object.isEmpty());

    QVERIFY(file.remove());
    QCOMPARE(SettingsFile::readObject(path, 64, &object, &text), SettingsFile::ReadResult::Missing);
    QVERIFY(QDir().mkpath(path));
    QCOMPARE(SettingsFile::readObject(path, 64, &object, &text), SettingsFile::ReadResult::Unusable);
    QVERIFY(QDir(path).removeRecursively());
}

void tst_Common::keepAsideReplacesAnOlderCopy()
{
    const QString path = dir.filePath(QStringLiteral("aside.json"));
    for (const QByteArray &content : {QByteArray("first"), QByteArray("second")}) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(content);
        file.close();
        QCOMPARE(SettingsFile::keepAside(path), path + QStringLiteral(".bad"));
        QVERIFY(!QFile::exists(path));
        QFile kept(path + QStringLiteral(".bad"));
        QVERIFY(kept.open(QIODevice::ReadOnly));
        QCOMPARE(kept.readAll(), content);
    }
    QVERIFY(SettingsFile::keepAside(path).isEmpty());
}

void tst_Common::writeObject()
{
    const QString path = dir.filePath(QStringLiteral("written.json"));
    const QJsonObject object{{QStringLiteral("b"), 2}, {QStringLiteral("a"), QJsonObject{{QStringLiteral("c"), true}}}};
    QVERIFY(SettingsFile::writeObject(path, object));
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray("{\n    \"a\": {\n        \"c\": true\n    },\n    \"b\": 2\n}\n"));

    QString error;
    QVERIFY(!SettingsFile::writeObject(dir.filePath(QStringLiteral("missing/written.json")), object, &error));
    QVERIFY(!error.isEmpty());
}

void tst_Common::mapFromQml()
{
    QJSEngine engine;
    const QVariant answer = QVariant::fromValue(engine.evaluate(QStringLiteral("({speed: 3, custom: {text: '6400'}})")));
    const QVariantMap map = SettingsFile::mapFromQml(answer);
    QCOMPARE(map.value(QStringLiteral("speed")).toInt(), 3);
    QCOMPARE(SettingsFile::mapFromQml(map.value(QStringLiteral("custom"))), (QVariantMap{{QStringLiteral("text"), QStringLiteral("6400")}}));
    QVERIFY(SettingsFile::mapFromQml(QVariant(42)).isEmpty());
}

QTEST_GUILESS_MAIN(tst_Common)
#include "tst_common.moc"
