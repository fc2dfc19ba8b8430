// The stream property parsers that the encodes made in the other tests do
// not reach (VP6, rarer audio headers) and the AMF0 encoding, on known bytes.
#include "amf0.h"
#include "codec_info.h"

#include <QtTest>

using namespace flvmdi;

class TestFlvmdiCodecs : public QObject
{
    Q_OBJECT

private slots:
    void vp6_data();
    void vp6();
    void audioHeaders_data();
    void audioHeaders();
    void metadataBytes();
};

static std::span<const uint8_t> bytes(const QByteArray& b)
{
    return {reinterpret_cast<const uint8_t*>(b.constData()), size_t(b.size())};
}

void TestFlvmdiCodecs::vp6_data()
{
    QTest::addColumn<int>("codec");
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    // Adjustment byte 0x12: one column and two rows less than the
    // macroblocks (12 x 9 = 192 x 144) cover.
    QTest::newRow("key frame") << 4 << QByteArray("\x12\x00\x36\x09\x0C\x09\x0C", 7) << 191 << 142;
    QTest::newRow("key frame, coefficient offset")
        << 4 << QByteArray("\x00\x01\x36\x00\x10\x09\x0C\x09\x0C", 9) << 192 << 144;
    QTest::newRow("with alpha") << 5 << QByteArray("\x00\x00\x00\x20\x00\x36\x09\x0C\x09\x0C", 10)
                                << 192 << 144;
    QTest::newRow("inter frame") << 4 << QByteArray("\x00\x80\x36\x09\x0C\x09\x0C", 7) << 0 << 0;
}

void TestFlvmdiCodecs::vp6()
{
    QFETCH(int, codec);
    QFETCH(QByteArray, data);
    QFETCH(int, width);
    QFETCH(int, height);
    auto s = vp6PictureSize(codec, bytes(data));
    QCOMPARE(s ? int(s->width) : 0, width);
    QCOMPARE(s ? int(s->height) : 0, height);
}

void TestFlvmdiCodecs::audioHeaders_data()
{
    QTest::addColumn<bool>("aac");
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<double>("rate");
    QTest::addColumn<bool>("stereo");
    QTest::newRow("MPEG-1 layer 3, 44.1 kHz stereo")
        << false << QByteArray("\xFF\xFB\x90\x04", 4) << 44100.0 << true;
    QTest::newRow("MPEG-2 layer 3, 22.05 kHz mono")
        << false << QByteArray("\xFF\xF3\x90\xC4", 4) << 22050.0 << false;
    QTest::newRow("MPEG-2.5 layer 3, 11.025 kHz")
        << false << QByteArray("\xFF\xE3\x90\xC4", 4) << 11025.0 << false;
    QTest::newRow("not a frame header")
        << false << QByteArray("\xFE\xFB\x90\x04", 4) << 0.0 << false;
    QTest::newRow("AAC LC 44.1 kHz stereo") << true << QByteArray("\x12\x10", 2) << 44100.0 << true;
    QTest::newRow("AAC LC 22.05 kHz mono") << true << QByteArray("\x13\x88", 2) << 22050.0 << false;
    QTest::newRow("AAC explicit rate")
        << true << QByteArray("\x17\x80\x01\xF4\x10", 5) << 1000.0 << true;
}

void TestFlvmdiCodecs::audioHeaders()
{
    QFETCH(bool, aac);
    QFETCH(QByteArray, data);
    QFETCH(double, rate);
    QFETCH(bool, stereo);
    auto f = aac ? aacConfigFormat(bytes(data)) : mpegAudioFormat(bytes(data));
    QCOMPARE(f ? f->sampleRate : 0.0, rate);
    QCOMPARE(f ? f->stereo : false, stereo);
}

void TestFlvmdiCodecs::metadataBytes()
{
    Metadata md{{"duration", 1.5},
                {"stereo", true},
                {"metadatacreator", std::string("x")},
                {"keyframes", AmfKeyframes{{0.0}, {13.0}}}};
    const std::string tag = encodeMetadataTag(md);
    const QByteArray expected =
        QByteArray::fromHex("12 000088 00000000 000000"
                            "02 000a 6f6e4d65746144617461 08 00000004"
                            "0008 6475726174696f6e 00 3ff8000000000000"
                            "0006 73746572656f 01 01"
                            "000f 6d657461646174616372656174 6f72 02 0001 78"
                            "0009 6b65796672616d6573 03"
                            "0005 74696d6573 0a 00000001 00 0000000000000000"
                            "000d 66696c65706f736974696f6e73 0a 00000001 00 402a000000000000"
                            "000009"
                            "000009"
                            "00000093");
    QCOMPARE(QByteArray::fromStdString(tag).toHex(' '), expected.toHex(' '));

    // The size does not depend on the numbers, so positions can be filled in
    // after the size is known.
    Metadata other = md;
    other[0].value = 1e300;
    std::get<AmfKeyframes>(other[3].value).filePositions[0] = 6e12;
    QCOMPARE(encodeMetadataTag(other).size(), tag.size());
}

QTEST_GUILESS_MAIN(TestFlvmdiCodecs)
#include "test_flvmdi_codecs.moc"
