#include "monitor/framedetailpane.h"

#include "catalogue/catalogue.h"
#include "codec/frame.h"
#include "codec/framedecoding.h"
#include "codec/framereport.h"
#include "cataloguefiles.h"

#include <QPushButton>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QtTest>

namespace {

// A catalogue of one product "Ranger" (node type 3) with one message
// "Sample" (0x30) of the given parameters.
struct OneMessageCatalogue
{
    QTemporaryDir dir;
    std::unique_ptr<DecodeCatalogue> catalogue;

    explicit OneMessageCatalogue(const QByteArray &parameters)
    {
        writeProfile(dir.path(), "<message name=\"Sample\" category=\"C\" msg_id=\"0x30\" description=\"A sample.\">"
                                     + parameters + "</message>",
                     "Ranger");
        catalogue.reset(new DecodeCatalogue(dir.filePath(QStringLiteral("xml"))));
    }
    FrameReport decode(const QByteArray &frame) { return catalogue->decodeBytes(frame); }
};

// The frame that device 3 (000A1B) sends to 000001 with message 0x30 and these data bytes.
QByteArray sampleFrame(const QByteArray &data, quint8 messageId = 0x30)
{
    return packFrame(messageId, false, quint8(data.size() + kFrameOverheadBytes), 3, 0, 0x000A1B, 0x000001, data);
}

// "F0 EF DF" by another way than the pane's.
QString spaced(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes.toHex(' ').toUpper());
}

// The field's bytes as one number, least significant byte first, and the
// number they stand for.
QString expectedRaw(const QByteArray &field, bool isSigned)
{
    quint64 pattern = 0;
    for (int k = field.size() - 1; k >= 0; --k)
        pattern = pattern << 8 | quint8(field.at(k));
    qint64 number = qint64(pattern);
    const int bits = 8 * field.size();
    if (isSigned && (pattern >> (bits - 1)) & 1)
        number -= qint64(1) << bits;
    QString digits;
    for (int k = field.size() - 1; k >= 0; --k)
        digits += QStringLiteral("%1").arg(quint8(field.at(k)), 2, 16, QLatin1Char('0')).toUpper();
    return QStringLiteral("0x") + digits + QStringLiteral(" (") + QString::number(number) + QLatin1Char(')');
}

} // namespace

class FrameDetailPaneTest : public QObject
{
    Q_OBJECT

private slots:
    void everyBundledMessage_data();
    void everyBundledMessage();
    void integers_data();
    void integers();
    void bitfields_data();
    void bitfields();
    void strings_data();
    void strings();
    void header_data();
    void header();
    void checksum_data();
    void checksum();
    void longValuesWrap();
    void notAFrame();
    void noise();
    void buttons();

private:
    QTreeWidget *tree() const { return pane->findChild<QTreeWidget *>(QStringLiteral("treeWidgetDetail")); }
    QPushButton *button(const char *name) const { return pane->findChild<QPushButton *>(QLatin1String(name)); }
    // The top-level row of the field; nullptr when there is none.
    QTreeWidgetItem *field(const QString &name) const;
    // The row of a parameter; nullptr when there is none.
    QTreeWidgetItem *parameter(const QString &name) const;
    QString value(const QString &name) const
    {
        QTreeWidgetItem *item = field(name);
        return item ? item->text(FrameDetailPane::ColumnValue) : QStringLiteral("(no row)");
    }
    bool isRed(const QString &name) const
    {
        QTreeWidgetItem *item = field(name);
        return item && item->foreground(FrameDetailPane::ColumnValue).color() == QColor(Qt::red);
    }

    std::unique_ptr<FrameDetailPane> pane{new FrameDetailPane};
};

QTreeWidgetItem *FrameDetailPaneTest::field(const QString &name) const
{
    for (int i = 0; i < tree()->topLevelItemCount(); ++i)
        if (tree()->topLevelItem(i)->text(FrameDetailPane::ColumnField) == name)
            return tree()->topLevelItem(i);
    return nullptr;
}

QTreeWidgetItem *FrameDetailPaneTest::parameter(const QString &name) const
{
    QTreeWidgetItem *parameters = field(QStringLiteral("Parameters"));
    for (int i = 0; parameters && i < parameters->childCount(); ++i)
        if (parameters->child(i)->text(FrameDetailPane::ColumnField) == name)
            return parameters->child(i);
    return nullptr;
}

// Every message of every profile of the bundled catalogue.
void FrameDetailPaneTest::everyBundledMessage_data()
{
    QTest::addColumn<QString>("profile"); // its key
    QTest::addColumn<QString>("message");
    const ProfileMap profiles = loadProfiles(QStringLiteral(KWN_SOURCE_DIR "/xml"));
    QVERIFY(profiles.size() >= 3);
    for (const ProfileDefinition &profile : profiles) {
        for (const MessageDefinition &message : messagesOfProfile(profile, false))
            QTest::newRow(qPrintable(profileKey(profile) + QLatin1Char('/') + message.name)) << profileKey(profile)
                                                                                              << message.name;
    }
}

// Each parameter shows with its shown value; an integer's and a bitfield's
// raw number, read here from the frame's bytes, in hex and decimal; a
// bitfield's named bits set or clear. The frame carries random data, as many
// bytes as the message has (at most 20).
void FrameDetailPaneTest::everyBundledMessage()
{
    QFETCH(QString, profile);
    QFETCH(QString, message);
    const ProfileDefinition product = loadProfiles(QStringLiteral(KWN_SOURCE_DIR "/xml")).value(profile);
    const MessageDefinition definition = messagesOfProfile(product, false).value(message);
    int size = 0;
    for (const ParameterDefinition &p : definition.parameters)
        size += int(p.size);
    QRandomGenerator random(definition.msgId);
    QByteArray data(qMin(size, kMaxDataBytes), Qt::Uninitialized);
    for (char &byte : data)
        byte = char(random.bounded(256));
    const QByteArray frame = packFrame(definition.msgId, true, quint8(kFrameOverheadBytes + data.size()),
                                       quint8(product.nodeType), 0, 0x00C0DE, 0x000042, data);
    // Decoded as this very revision would decode it (the catalogue of the
    // page takes each product's first).
    FrameReport report;
    report.frame = parseFrameBytes(frame);
    QVERIFY(report.frame.ok());
    report.parsed = true;
    report.checksumOk = checksumMatches(frame);
    report.productFound = true;
    report.device = product.product;
    report.message = decodeMessageData(definition, report.frame.fields.data, false, QString());
    report.status = report.message.statusText;
    report.error = report.message.statusIsError;
    pane->showReport(report);
    QCOMPARE(value(QStringLiteral("Device")), product.product);
    QCOMPARE(value(QStringLiteral("Message")), message);

    QTreeWidgetItem *parameters = field(QStringLiteral("Parameters"));
    QCOMPARE(parameters ? parameters->childCount() : 0, report.message.rows.size());
    for (const DecodedRow &row : report.message.rows) {
        QTreeWidgetItem *item = parameter(row.parameterName);
        QVERIFY2(item, qPrintable(row.parameterName));
        if (row.kind == DecodedRow::Value)
            QCOMPARE(item->text(FrameDetailPane::ColumnValue), row.value);
    }
    int offset = 0;
    for (const ParameterDefinition &p : definition.parameters) {
        const QByteArray bytes = data.mid(offset, int(p.size));
        offset += int(p.size);
        if (!p.display || bytes.size() < int(p.size))
            continue;
        QTreeWidgetItem *item = parameter(p.name);
        QVERIFY2(item, qPrintable(p.name));
        const QString raw = item->text(FrameDetailPane::ColumnRaw);
        if (p.type == QLatin1String("string")) {
            QCOMPARE(raw, QString());
            continue;
        }
        QCOMPARE(raw, expectedRaw(bytes, p.type == QLatin1String("integer") && p.isSigned()));
        if (p.type != QLatin1String("bitfield"))
            continue;
        for (int i = 0; i < p.values.size(); ++i) {
            const quint32 bit = p.values.at(i).unsignedValue;
            const bool set = bit < 8 * p.size && (quint8(bytes.at(int(bit / 8))) >> (bit % 8)) & 1;
            QCOMPARE(item->child(i)->text(FrameDetailPane::ColumnValue), set ? QStringLiteral("set") : QStringLiteral("clear"));
        }
    }
}

void FrameDetailPaneTest::integers_data()
{
    QTest::addColumn<QByteArray>("parameter");
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("raw");
    const auto sized = [](const char *size, const char *sign = "unsigned", const char *format = "decimal") -> QByteArray {
        return QByteArray("<parameter name=\"P\" type=\"integer\" size=\"") + size + "\" sign=\"" + sign
            + "\" input_format=\"" + format + "\"/>";
    };
    const auto hex = [](const char *text) { return QByteArray::fromHex(text); };
    QTest::newRow("unsigned, size 1") << sized("1") << hex("fb") << "251" << "0xFB (251)";
    QTest::newRow("unsigned, size 2, small") << sized("2") << hex("0500") << "5" << "0x0005 (5)";
    QTest::newRow("unsigned, size 3") << sized("3") << hex("010203") << "197121" << "0x030201 (197121)";
    QTest::newRow("unsigned, size 4") << sized("4") << hex("ffffffff") << "4294967295" << "0xFFFFFFFF (4294967295)";
    QTest::newRow("signed, size 1") << sized("1", "signed") << hex("fb") << "-5" << "0xFB (-5)";
    QTest::newRow("signed, size 2") << sized("2", "signed") << hex("fbff") << "-5" << "0xFFFB (-5)";
    QTest::newRow("signed, size 2, positive") << sized("2", "signed") << hex("ff7f") << "32767" << "0x7FFF (32767)";
    QTest::newRow("signed, size 3") << sized("3", "signed") << hex("000080") << "-8388608" << "0x800000 (-8388608)";
    QTest::newRow("signed, size 4") << sized("4", "signed") << hex("feffffff") << "-2" << "0xFFFFFFFE (-2)";
    QTest::newRow("signed hexa") << sized("2", "signed", "hexa") << hex("feff") << "FFFE" << "0xFFFE (-2)";
    QTest::newRow("named") << QByteArray("<parameter name=\"P\" type=\"integer\" size=\"1\">"
                                         "<value value=\"2\" description=\"Closing\"/></parameter>")
                           << hex("02") << "Closing" << "0x02 (2)";
    QTest::newRow("signed named") << QByteArray("<parameter name=\"P\" type=\"integer\" size=\"1\" sign=\"signed\">"
                                                "<value value=\"-1\" description=\"Minus one\"/></parameter>")
                                  << hex("ff") << "Minus one" << "0xFF (-1)";
}

// The shown value as the report has it, the raw number as the field's bytes
// and in decimal, signed with its sign.
void FrameDetailPaneTest::integers()
{
    QFETCH(QByteArray, parameter);
    QFETCH(QByteArray, data);
    QFETCH(QString, value);
    QFETCH(QString, raw);
    OneMessageCatalogue files(parameter);
    pane->showReport(files.decode(sampleFrame(data)));
    QTreeWidgetItem *item = this->parameter(QStringLiteral("P"));
    QVERIFY(item);
    QCOMPARE(item->text(FrameDetailPane::ColumnValue), value);
    QCOMPARE(item->text(FrameDetailPane::ColumnRaw), raw);
}

void FrameDetailPaneTest::bitfields_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("raw");
    QTest::addColumn<QStringList>("bits"); // "field=value" per child
    QTest::newRow("none set") << QByteArray::fromHex("0000") << "none" << "0x0000 (0)"
                              << QStringList{"Bit 0: Door open=clear", "Bit 9: Low battery=clear"};
    QTest::newRow("named set") << QByteArray::fromHex("0102") << "Bit 0: Door open; Bit 9: Low battery" << "0x0201 (513)"
                               << QStringList{"Bit 0: Door open=set", "Bit 9: Low battery=set"};
    QTest::newRow("unnamed set too") << QByteArray::fromHex("4080") << "Bit 6; Bit 15" << "0x8040 (32832)"
                                     << QStringList{"Bit 0: Door open=clear", "Bit 9: Low battery=clear", "Bit 6=set",
                                                    "Bit 15=set"};
}

// A bitfield: its set bits, named where named, each bit a row of its own.
void FrameDetailPaneTest::bitfields()
{
    QFETCH(QByteArray, data);
    QFETCH(QString, value);
    QFETCH(QString, raw);
    QFETCH(QStringList, bits);
    OneMessageCatalogue files("<parameter name=\"Flags\" type=\"bitfield\" size=\"2\">"
                              "<value value=\"0\" description=\"Door open\"/>"
                              "<value value=\"9\" description=\"Low battery\"/></parameter>");
    pane->showReport(files.decode(sampleFrame(data)));
    QTreeWidgetItem *item = parameter(QStringLiteral("Flags"));
    QVERIFY(item);
    QCOMPARE(item->text(FrameDetailPane::ColumnValue), value);
    QCOMPARE(item->text(FrameDetailPane::ColumnRaw), raw);
    QStringList shown;
    for (int i = 0; i < item->childCount(); ++i)
        shown << item->child(i)->text(FrameDetailPane::ColumnField) + QLatin1Char('=')
                     + item->child(i)->text(FrameDetailPane::ColumnValue);
    QCOMPARE(shown, bits);
    QVERIFY(item->isExpanded());
}

void FrameDetailPaneTest::strings_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QString>("value");
    QTest::newRow("padded") << QByteArray("AB\0\0", 4) << "AB";
    QTest::newRow("digits") << QByteArray("1234") << "1234";
    QTest::newRow("control character") << QByteArray("A\tB\0", 4) << "A\\x09B";
}

// A string: its characters as the report shows them, and no raw number.
void FrameDetailPaneTest::strings()
{
    QFETCH(QByteArray, data);
    QFETCH(QString, value);
    OneMessageCatalogue files("<parameter name=\"Label\" type=\"string\" size=\"4\"/>"
                              "<parameter name=\"N\" type=\"integer\" size=\"1\"/>");
    pane->showReport(files.decode(sampleFrame(data + QByteArray::fromHex("07"))));
    QTreeWidgetItem *item = parameter(QStringLiteral("Label"));
    QVERIFY(item);
    QCOMPARE(item->text(FrameDetailPane::ColumnValue), value);
    QCOMPARE(item->text(FrameDetailPane::ColumnRaw), QString());
    QCOMPARE(parameter(QStringLiteral("N"))->text(FrameDetailPane::ColumnRaw), QStringLiteral("0x07 (7)"));
}

void FrameDetailPaneTest::header_data()
{
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<QStringList>("fields"); // "field=value", in order
    QTest::addColumn<QString>("identifier");
    QTest::addColumn<bool>("statusRed");
    const QByteArray one = QByteArray::fromHex("01");
    QTest::newRow("point to point, acknowledge")
        << packFrame(0x30, true, 12, 3, 5, 0x000A1B, 0x123456, one)
        << QStringList{"Device=Ranger", "Message=Sample", "Addressing=Point to point",
                       "Source \u2192 destination=000A1B \u2192 123456", "Acknowledge request=yes", "Node type=3",
                       "Status=Frame decoded successfully.", "Parameters=", "Bytes=", "Checksum="}
        << "0x30 (48)" << false;
    QTest::newRow("broadcast") << packFrame(0x30, false, 12, 3, 0, 0x000001, 0xFFFFFF, one)
                               << QStringList{"Device=Ranger", "Message=Sample", "Addressing=Broadcast",
                                              "Source \u2192 destination=000001 \u2192 FFFFFF",
                                              "Acknowledge request=no", "Node type=3",
                                              "Status=Frame decoded successfully.", "Parameters=", "Bytes=", "Checksum="}
                               << "0x30 (48)" << false;
    QTest::newRow("group, unknown message") << packFrame(0xA7, false, 11, 3, 0, 0x000002, 0x000000, QByteArray())
                                            << QStringList{"Device=Ranger", "Message=Unknown message", "Addressing=Group",
                                                           "Source \u2192 destination=000002 \u2192 000000",
                                                           "Acknowledge request=no", "Node type=3",
                                                           "Status=Frame not decoded because message is unknown.",
                                                           "Bytes=", "Checksum="}
                                            << "0xA7 (167)" << true;
    QTest::newRow("no product") << packFrame(0x30, false, 12, 9, 9, 0x000003, 0x000004, one)
                                << QStringList{"Message=", "Addressing=Point to point",
                                               "Source \u2192 destination=000003 \u2192 000004",
                                               "Acknowledge request=no", "Node type=9",
                                               "Status=No product found for the node type set in this frame.",
                                               "Bytes=", "Checksum="}
                                << "0x30 (48)" << true;
}

// The header fields in order, the message with its identifier, and the
// status line, red when it is an error.
void FrameDetailPaneTest::header()
{
    QFETCH(QByteArray, frame);
    QFETCH(QStringList, fields);
    QFETCH(QString, identifier);
    QFETCH(bool, statusRed);
    OneMessageCatalogue files("<parameter name=\"P\" type=\"integer\" size=\"1\"/>");
    FrameReport report = files.decode(frame);
    pane->showReport(report);
    QStringList shown;
    for (int i = 0; i < tree()->topLevelItemCount(); ++i) {
        const QTreeWidgetItem *item = tree()->topLevelItem(i);
        const QString name = item->text(FrameDetailPane::ColumnField);
        // The bytes and the parameters have tests of their own.
        const bool skipValue = name == QLatin1String("Bytes") || name == QLatin1String("Checksum");
        shown << name + QLatin1Char('=') + (skipValue ? QString() : item->text(FrameDetailPane::ColumnValue));
    }
    QCOMPARE(shown, fields);
    QCOMPARE(field(QStringLiteral("Message"))->text(FrameDetailPane::ColumnRaw), identifier);
    QCOMPARE(isRed(QStringLiteral("Status")), statusRed);

    // Time and direction first, when the report carries them.
    report.time = QStringLiteral("10:20:30.456");
    report.direction = QStringLiteral("TX");
    pane->showReport(report);
    QCOMPARE(tree()->topLevelItem(0)->text(FrameDetailPane::ColumnValue), report.time);
    QCOMPARE(tree()->topLevelItem(1)->text(FrameDetailPane::ColumnValue), report.direction);
    pane->showTime(QStringLiteral("10:20:31.000"));
    QCOMPARE(value(QStringLiteral("Time")), QStringLiteral("10:20:31.000"));
}

void FrameDetailPaneTest::checksum_data()
{
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<QString>("verdict");
    const auto sumOf = [](const QByteArray &frame) {
        quint32 sum = 0;
        for (int i = 0; i < frame.size() - 2; ++i)
            sum += quint8(frame.at(i));
        return QStringLiteral("%1").arg(sum & 0xFFFF, 4, 16, QLatin1Char('0')).toUpper();
    };
    const QByteArray good = sampleFrame(QByteArray::fromHex("05"));
    QTest::newRow("right") << good << "checksum ok";
    // The sum expected is that of the bytes as read.
    QByteArray changed = good;
    changed[9] = char(quint8(changed.at(9)) ^ 0x01);
    QTest::newRow("data byte changed") << changed << QStringLiteral("checksum wrong, expected ") + sumOf(changed);
    QByteArray badSum = good;
    badSum[badSum.size() - 2] = char(0x00);
    badSum[badSum.size() - 1] = char(0x07);
    QTest::newRow("checksum bytes changed") << badSum << QStringLiteral("checksum wrong, expected ") + sumOf(good);
}

// The bytes spaced, the checksum's two in brackets, and whether it holds;
// when it does not, the sum it should have been.
void FrameDetailPaneTest::checksum()
{
    QFETCH(QByteArray, frame);
    QFETCH(QString, verdict);
    OneMessageCatalogue files("<parameter name=\"P\" type=\"integer\" size=\"1\"/>");
    pane->showReport(files.decode(frame));
    const int body = frame.size() - 2;
    QCOMPARE(value(QStringLiteral("Bytes")),
             spaced(frame.left(body)) + QStringLiteral(" [") + spaced(frame.mid(body)) + QLatin1Char(']'));
    QCOMPARE(value(QStringLiteral("Checksum")), verdict);
    const bool bad = verdict != QLatin1String("checksum ok");
    QCOMPARE(isRed(QStringLiteral("Checksum")), bad);
    // The status says it first, in red, as the Values cell does.
    QCOMPARE(value(QStringLiteral("Status")),
             QLatin1String(bad ? "bad checksum | " : "") + QStringLiteral("Frame decoded successfully."));
    QCOMPARE(isRed(QStringLiteral("Status")), bad);
    // Decoded all the same.
    QCOMPARE(parameter(QStringLiteral("P"))->text(FrameDetailPane::ColumnValue), QString::number(quint8(frame.at(9)) ^ 0xFF));
}

// In a narrow pane the bytes and the checksum's verdict wrap onto more
// lines rather than being cut.
void FrameDetailPaneTest::longValuesWrap()
{
    OneMessageCatalogue files("<parameter name=\"P\" type=\"integer\" size=\"1\"/>");
    pane->resize(480, 600);
    pane->show();
    QVERIFY(QTest::qWaitForWindowExposed(pane.get()));
    QByteArray frame = sampleFrame(QByteArray(20, '\x05'));
    frame[frame.size() - 1] = char(frame.at(frame.size() - 1) ^ 1);
    pane->showReport(files.decode(frame));
    const int line = tree()->fontMetrics().height();
    for (const char *name : {"Bytes", "Checksum"}) {
        const QRect shown = tree()->visualItemRect(field(QLatin1String(name)));
        QVERIFY2(shown.height() >= 2 * line, qPrintable(QStringLiteral("%1: %2 high, value column %3 wide").arg(QLatin1String(name)).arg(shown.height()).arg(tree()->columnWidth(1))));
    }
    // Wider, the verdict takes one line again.
    pane->resize(1400, 600);
    QTRY_VERIFY(tree()->visualItemRect(field(QStringLiteral("Checksum"))).height() < 2 * line);
}

// Bytes that are no frame: the reason in red, the bytes without a checksum.
void FrameDetailPaneTest::notAFrame()
{
    OneMessageCatalogue files("<parameter name=\"P\" type=\"integer\" size=\"1\"/>");
    const QByteArray bytes = QByteArray::fromHex("0102030405");
    pane->showReport(files.decode(bytes));
    QCOMPARE(value(QStringLiteral("Status")), QStringLiteral("Invalid frame length."));
    QVERIFY(isRed(QStringLiteral("Status")));
    QCOMPARE(value(QStringLiteral("Bytes")), QStringLiteral("01 02 03 04 05"));
    QVERIFY(!field(QStringLiteral("Checksum")));
    QVERIFY(!field(QStringLiteral("Message")));
}

// A noise run: its bytes and "noise", and nothing to open or send.
void FrameDetailPaneTest::noise()
{
    pane->showNoise(QByteArray::fromHex("A5FF00"), QStringLiteral("08:00:00.001"));
    QStringList shown;
    for (int i = 0; i < tree()->topLevelItemCount(); ++i)
        shown << tree()->topLevelItem(i)->text(FrameDetailPane::ColumnField) + QLatin1Char('=')
                     + tree()->topLevelItem(i)->text(FrameDetailPane::ColumnValue);
    QCOMPARE(shown, (QStringList{"Time=08:00:00.001", "Status=noise", "Bytes=A5 FF 00"}));
    QCOMPARE(field(QStringLiteral("Status"))->text(FrameDetailPane::ColumnRaw), QStringLiteral("3 bytes"));
    QVERIFY(!button("buttonOpenOnDecode")->isEnabled());
    QVERIFY(!button("buttonPutInSend")->isEnabled());
    QCOMPARE(pane->frame(), QByteArray());
}

// The buttons hand over the frame shown; with nothing or noise shown they
// are disabled.
void FrameDetailPaneTest::buttons()
{
    QCOMPARE(button("buttonOpenOnDecode")->text(), QStringLiteral("Open on Decode page"));
    QCOMPARE(button("buttonPutInSend")->text(), QStringLiteral("Put in Send field"));
    pane->clear();
    QCOMPARE(tree()->topLevelItemCount(), 0);
    QVERIFY(!button("buttonOpenOnDecode")->isEnabled());
    QVERIFY(!button("buttonPutInSend")->isEnabled());

    OneMessageCatalogue files("<parameter name=\"P\" type=\"integer\" size=\"1\"/>");
    const QByteArray frame = sampleFrame(QByteArray::fromHex("09"));
    pane->showReport(files.decode(frame));
    QVERIFY(button("buttonOpenOnDecode")->isEnabled());
    QVERIFY(button("buttonPutInSend")->isEnabled());
    QSignalSpy opened(pane.get(), &FrameDetailPane::openRequested);
    QSignalSpy put(pane.get(), &FrameDetailPane::putInSendRequested);
    QTest::mouseClick(button("buttonOpenOnDecode"), Qt::LeftButton);
    QCOMPARE(opened.count(), 1);
    QCOMPARE(opened.at(0).at(0).toByteArray(), frame);
    QCOMPARE(put.count(), 0);
    QTest::mouseClick(button("buttonPutInSend"), Qt::LeftButton);
    QCOMPARE(put.count(), 1);
    QCOMPARE(put.at(0).at(0).toByteArray(), frame);

    pane->showNoise(QByteArray::fromHex("A5"));
    QVERIFY(!button("buttonOpenOnDecode")->isEnabled());
    pane->clear();
    QCOMPARE(pane->frame(), QByteArray());
    QVERIFY(!button("buttonPutInSend")->isEnabled());
}

QTEST_MAIN(FrameDetailPaneTest)
#include "framedetailpanetest.moc"
