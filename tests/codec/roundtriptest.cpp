#include "catalogue/catalogue.h"
#include "codec/framedecoding.h"
#include "codec/readers.h"
#include "codec/valueencoding.h"

#include <QRandomGenerator>
#include <QtTest>

// Frames built by the encoding functions from the bundled sample catalogue
// decode back, through the same text the user would paste, to the values
// that were set: defaults, and random values within each parameter's limits.
class RoundTripTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void sampleCatalogue_data();
    void sampleCatalogue();

private:
    ProfileMap profiles;
};

Q_DECLARE_METATYPE(ProfileDefinition)
Q_DECLARE_METATYPE(MessageDefinition)

static bool isKnownType(const ParameterDefinition &p)
{
    return p.type == QLatin1String("integer") || p.type == QLatin1String("string")
        || p.type == QLatin1String("bitfield");
}

// Whether v is representable in `size` bytes the way the decoder reads it back.
static bool fitsField(const ParameterDefinition &p, qint64 v)
{
    const quint32 size = std::min<quint32>(p.size, 4);
    if (size == 0)
        return v == 0;
    const int bits = int(8 * size);
    if (p.isSigned())
        return v >= -(qint64(1) << (bits - 1)) && v < (qint64(1) << (bits - 1));
    return v >= 0 && v < (qint64(1) << bits);
}

struct Expectation
{
    QString label;
    DecodedRow::Kind kind = DecodedRow::Value;
    bool checkNumber = false;
    quint32 raw = 0;
    QString text;
    QList<bool> bits;
};

static ParameterInput randomInput(const ParameterDefinition &p, QRandomGenerator &random, qint64 *value)
{
    ParameterInput input = defaultInput(p);
    *value = defaultValue(p);
    if (p.type == QLatin1String("integer") && p.values.isEmpty()) {
        const qint64 low = lowerLimit(p);
        const qint64 high = upperLimit(p);
        if (low <= high && p.size >= 1 && p.size <= 4) {
            *value = low + qint64(random.generate64() % quint64(high - low + 1));
            input.text = p.isHexa() ? limitHexText(p, *value) : QString::number(*value);
        }
    } else if (p.type == QLatin1String("integer")) {
        input.valueIndex = random.bounded(p.values.size());
    } else if (p.type == QLatin1String("string")) {
        input.text.clear();
        for (int i = 0; i < effectiveSize(p); ++i)
            input.text += QChar(ushort(0x20 + random.bounded(0x5F)));
    } else if (p.type == QLatin1String("bitfield")) {
        for (bool &checked : input.bitsChecked)
            checked = random.bounded(2) == 1;
    }
    return input;
}

// What the decoder must show for a parameter that was encoded from `input`;
// false when the catalogue makes the value unrecoverable by design (a value
// outside its field, hexadecimal text beyond 64 bits).
static bool expectationFor(const ParameterDefinition &p, const ParameterInput &input, qint64 value,
                           Expectation *e)
{
    e->label = p.name + QLatin1Char(':');
    if (p.type == QLatin1String("integer") && p.values.isEmpty()) {
        if (!fitsField(p, value) || p.size > 8)
            return false;
        e->checkNumber = true;
        e->raw = quint32(quint64(value));
    } else if (p.type == QLatin1String("integer")) {
        const ValueDefinition chosen = p.values.at(input.valueIndex);
        // The decoder names the first entry with the value read back.
        for (const ValueDefinition &entry : p.values) {
            if (p.isSigned() ? entry.signedValue == chosen.signedValue
                             : entry.unsignedValue == chosen.unsignedValue) {
                e->text = entry.description;
                break;
            }
        }
        if (!fitsField(p, p.isSigned() ? chosen.signedValue : qint64(chosen.unsignedValue)))
            return false;
    } else if (p.type == QLatin1String("string")) {
        e->text = input.text;
        e->text.resize(std::max(e->text.size(), int(std::min<quint32>(p.size, kMaxStringPadding))), QChar(0));
    } else {
        e->kind = DecodedRow::Bits;
        for (int k = 0; k < p.values.size(); ++k) {
            const quint32 bit = p.values.at(k).unsignedValue % 32;
            e->bits << (input.bitsChecked.value(k) && bit < 8);
        }
    }
    return true;
}

void RoundTripTest::initTestCase()
{
    profiles = loadProfiles(QStringLiteral(KWN_SOURCE_DIR "/xml"));
    if (profiles.isEmpty())
        QSKIP("the bundled sample catalogue is missing");
}

void RoundTripTest::sampleCatalogue_data()
{
    QTest::addColumn<ProfileDefinition>("profile");
    QTest::addColumn<MessageDefinition>("message");
    for (const ProfileDefinition &profile : profiles) {
        for (const MessageDefinition &message : messagesOfProfile(profile, true)) {
            const QString row = profileKey(profile) + QLatin1Char('/') + message.name;
            QTest::newRow(qPrintable(row)) << profile << message;
        }
    }
}

void RoundTripTest::sampleCatalogue()
{
    QFETCH(ProfileDefinition, profile);
    QFETCH(MessageDefinition, message);

    for (const ParameterDefinition &p : message.parameters) {
        // The encoder writes one byte for any bitfield, the decoder reads
        // `size`: such a message cannot round-trip.
        if (p.type == QLatin1String("bitfield") && p.size != 1)
            QSKIP("bitfield whose size is not 1");
    }

    QRandomGenerator random(quint32(qHash(message.name)) ^ 0x5eed);
    for (int round = 0; round < 25; ++round) {
        QList<ParameterInput> inputs;
        QList<qint64> values;
        for (const ParameterDefinition &p : message.parameters) {
            qint64 value = defaultValue(p);
            inputs << (round == 0 ? defaultInput(p) : randomInput(p, random, &value));
            values << value;
        }
        // Leave off a random run of trailing optional parameters.
        if (round % 3 == 2) {
            for (int i = message.parameters.size() - 1; i >= 0 && message.parameters.at(i).optional; --i) {
                if (random.bounded(2))
                    break;
                inputs[i].present = false;
            }
        }

        const QByteArray data = encodeParameters(message, inputs);
        const QByteArray frame = buildFrameBytes(message, quint8(profile.nodeType), round % 2 == 1,
                                                 QStringLiteral("00ABCD"), QStringLiteral("123456"), data);
        const ParsedFrame parsed = parseFrameText(frameToHexText(frame));
        QVERIFY(parsed.ok());
        QCOMPARE(parsed.fields.messageId, message.msgId);
        QCOMPARE(parsed.fields.data, data);
        QCOMPARE(parsed.fields.ackRequested, round % 2 == 1);
        QCOMPARE(parsed.fields.sourceAddress, 0x00ABCDu);
        QCOMPARE(parsed.fields.destinationAddress, 0x123456u);
        QVERIFY(checksumMatches(parsed.bytes));
        QCOMPARE(parsed.frameLonger, data.size() > kMaxDataBytes);

        const MessageDecoding decoding = decodeMessageData(message, parsed.fields.data, parsed.frameLonger,
                                                           parsed.statusText);
        QVERIFY2(decoding.complete, qPrintable(decoding.statusText));
        if (!parsed.frameLonger)
            QCOMPARE(decoding.statusText, QStringLiteral("Frame decoded successfully."));

        // Walk the parameters as the decoder does and match its rows.
        int rowIndex = 0;
        int offset = 0; // where the decoder reads
        for (int i = 0; i < message.parameters.size(); ++i) {
            const ParameterDefinition &p = message.parameters.at(i);
            const bool reached = offset < data.size();
            if (!isKnownType(p)) {
                if (p.display && reached)
                    QCOMPARE(decoding.rows.value(rowIndex++).kind, DecodedRow::LabelOnly);
                continue;
            }
            if (!inputs.at(i).present) {
                QVERIFY(!reached);
                continue;
            }
            const int written = encodeParameter(p, inputs.at(i)).size();
            offset += int(p.size);
            // A string shorter than its field (a short default) is written
            // short but read over its whole size: what follows it is misread
            // by design, and only the last one comes back whole, padded.
            const bool shortString = p.type == QLatin1String("string") && written < int(p.size);
            if (shortString && offset - int(p.size) + written < data.size())
                break;
            if (!p.display)
                continue;
            QVERIFY(rowIndex < decoding.rows.size());
            const DecodedRow &row = decoding.rows.at(rowIndex++);
            Expectation e;
            if (!expectationFor(p, inputs.at(i), values.at(i), &e))
                continue;
            QCOMPARE(row.label, e.label);
            QCOMPARE(row.kind, e.kind);
            if (e.kind == DecodedRow::Bits) {
                QList<bool> bits;
                for (const DecodedBit &bit : row.bits)
                    bits << bit.checked;
                QCOMPARE(bits, e.bits);
            } else if (e.checkNumber) {
                QCOMPARE(row.rawValue, e.raw);
                if (p.isHexa()) {
                    const int bits = 8 * int(std::min<quint32>(p.size, 4));
                    const quint64 mask = bits >= 32 ? 0xFFFFFFFFull : (quint64(1) << bits) - 1;
                    bool ok = false;
                    QCOMPARE(row.value.toULongLong(&ok, 16) & mask, quint64(e.raw) & mask);
                    QVERIFY(ok);
                } else {
                    QCOMPARE(row.value, p.isSigned() ? QString::number(qint32(e.raw)) : QString::number(e.raw));
                }
            } else {
                QCOMPARE(row.value, e.text);
            }
        }
        QCOMPARE(rowIndex, decoding.rows.size());
    }
}

QTEST_GUILESS_MAIN(RoundTripTest)
#include "roundtriptest.moc"
