#include <QFile>
#include <QImageReader>
#include <QSet>
#include <QtTest>

class TestResources : public QObject
{
    Q_OBJECT

private slots:
    void imagesHaveTheirFormatAndSize_data();
    void imagesHaveTheirFormatAndSize();
    void ledIconsHoldFiveSizes_data();
    void ledIconsHoldFiveSizes();
    void pathsOutsideTheTreeFindNothing_data();
    void pathsOutsideTheTreeFindNothing();
};

namespace {

// A drawn picture uses many colours; a placeholder fill uses one or two.
int distinctColours(const QImage &image)
{
    QSet<QRgb> colours;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            colours.insert(image.pixel(x, y));
    return colours.size();
}

bool hasTransparentPixel(const QImage &image)
{
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (qAlpha(image.pixel(x, y)) < 128)
                return true;
    return false;
}

} // namespace

void TestResources::imagesHaveTheirFormatAndSize_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QSize>("size");

    QTest::newRow("clockicon") << ":/ressources/clockicon" << QSize(32, 32);
    QTest::newRow("disconnecticon") << ":/ressources/disconnecticon" << QSize(128, 128);
    QTest::newRow("progicon") << ":/ressources/progicon" << QSize(256, 256);
    QTest::newRow("performanceicon") << ":/ressources/performanceicon" << QSize(32, 32);
    QTest::newRow("wirelessicon") << ":/ressources/wirelessicon" << QSize(32, 26);
    QTest::newRow("exiticon") << ":/ressources/exiticon" << QSize(32, 32);
    QTest::newRow("usbicon") << ":/ressources/usbicon" << QSize(32, 15);
    QTest::newRow("connecticon") << ":/ressources/connecticon" << QSize(128, 128);
    QTest::newRow("downloadicon") << ":/ressources/downloadicon" << QSize(32, 32);
    QTest::newRow("uploadicon") << ":/ressources/uploadicon" << QSize(32, 32);
    QTest::newRow("settings.png") << ":/ressources/ressources/settings.png" << QSize(128, 128);
    QTest::newRow("info.png") << ":/ressources/ressources/info.png" << QSize(128, 128);
}

void TestResources::imagesHaveTheirFormatAndSize()
{
    QFETCH(QString, path);
    QFETCH(QSize, size);

    // Names without an extension must be recognised by content.
    QImageReader reader(path);
    QVERIFY2(reader.canRead(), qPrintable(reader.errorString()));
    QCOMPARE(reader.format(), QByteArray("png"));
    const QImage image = reader.read();
    QCOMPARE(image.size(), size);
    QVERIFY(image.hasAlphaChannel());
    QVERIFY(hasTransparentPixel(image));
    QVERIFY2(distinctColours(image) >= 8, qPrintable(QString::number(distinctColours(image))));
}

void TestResources::ledIconsHoldFiveSizes_data()
{
    QTest::addColumn<QString>("path");
    QTest::newRow("Off.ico") << ":/ressources/ressources/Off.ico";
    QTest::newRow("red.ico") << ":/ressources/ressources/red.ico";
}

void TestResources::ledIconsHoldFiveSizes()
{
    QFETCH(QString, path);

    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray ico = file.readAll();
    const auto u8 = [&](int at) { return quint8(ico.at(at)); };
    const auto u16 = [&](int at) { return quint16(u8(at) | u8(at + 1) << 8); };
    const auto u32 = [&](int at) { return quint32(u16(at) | quint32(u16(at + 2)) << 16); };

    // ICONDIR: reserved 0, type 1 (icon), five entries of 16 bytes each.
    QVERIFY(ico.size() >= 6 + 5 * 16);
    QCOMPARE(u16(0), quint16(0));
    QCOMPARE(u16(2), quint16(1));
    QCOMPARE(u16(4), quint16(5));

    QList<int> sides;
    for (int i = 0; i < 5; ++i) {
        const int entry = 6 + 16 * i;
        const int side = u8(entry);
        QCOMPARE(int(u8(entry + 1)), side);
        QCOMPARE(u16(entry + 6), quint16(24));
        const quint32 size = u32(entry + 8), offset = u32(entry + 12);
        QVERIFY(offset + size <= quint32(ico.size()));

        // A BMP header of twice the height: 24-bit colours, then the 1-bit transparency mask.
        const int bmp = int(offset);
        QCOMPARE(u32(bmp), quint32(40));
        QCOMPARE(int(u32(bmp + 4)), side);
        QCOMPARE(int(u32(bmp + 8)), 2 * side);
        QCOMPARE(u16(bmp + 14), quint16(24));
        const int colourRow = (side * 3 + 3) / 4 * 4, maskRow = (side + 31) / 32 * 4;
        QCOMPARE(size, quint32(40 + side * (colourRow + maskRow)));

        // Round LED: the corners are transparent, the centre is not.
        const int mask = bmp + 40 + side * colourRow;
        const auto transparent = [&](int x, int y) { // rows are stored bottom-up
            return (u8(mask + (side - 1 - y) * maskRow + x / 8) >> (7 - x % 8)) & 1;
        };
        QVERIFY(transparent(0, 0) && transparent(side - 1, side - 1));
        QVERIFY(!transparent(side / 2, side / 2));
        sides << side;
    }
    std::sort(sides.begin(), sides.end());
    QCOMPARE(sides, (QList<int>{16, 32, 48, 64, 72}));

    // Qt reads every image of the file.
    QImageReader reader(path, "ico");
    QCOMPARE(reader.imageCount(), 5);
    for (int i = 0; i < 5; ++i) {
        QVERIFY(reader.jumpToImage(i));
        QVERIFY2(!reader.read().isNull(), qPrintable(reader.errorString()));
    }
}

void TestResources::pathsOutsideTheTreeFindNothing_data()
{
    QTest::addColumn<QString>("path");
    QTest::newRow("info without repeated folder") << ":/ressources/info.png";
    QTest::newRow("progicon with extension") << ":/ressources/progicon.png";
    QTest::newRow("English prefix") << ":/resources/clockicon";
    QTest::newRow("led icon outside sub-folder") << ":/ressources/red.ico";
}

void TestResources::pathsOutsideTheTreeFindNothing()
{
    QFETCH(QString, path);
    QVERIFY(!QFile::exists(path));
    QVERIFY(QPixmap(path).isNull());
}

QTEST_MAIN(TestResources)
#include "tst_resources.moc"
