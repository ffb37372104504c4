// Every bundled message, encoded from defaults and random values, decodes back to them.

#include "catalogue/catalogue.h"
#include "codec/framedecoding.h"
#include "codec/valueencoding.h"

#include <QRandomGenerator>
#include <QtTest>

class RoundTripTest : public QObject
{
    Q_OBJECT

private slots:
    void sampleCatalogue()
    {
        const ProfileMap profiles = loadProfiles(QStringLiteral(KWN_SOURCE_DIR "/xml"));
        QVERIFY(!profiles.isEmpty());
        QRandomGenerator random(20261206);
        int frames = 0;
        for (const ProfileDefinition &profile : profiles) {
            for (const MessageDefinition &message : messagesOfProfile(profile, false)) {
                for (int round = 0; round < 20 && !QTest::currentTestFailed(); ++round, ++frames)
                    checkRound(profile, message, round == 0, random);
            }
        }
        QVERIFY(frames >= 60 * 20);
    }

private:
    static void checkRound(const ProfileDefinition &profile, const MessageDefinition &message, bool defaults,
                           QRandomGenerator &random)
    {
        QList<ParameterInput> inputs;
        QList<qint64> values;
        for (const ParameterDefinition &p : message.parameters) {
            ParameterInput input = defaultInput(p);
            qint64 value = defaultValue(p);
            if (!defaults && p.type == QLatin1String("integer") && p.values.isEmpty()) {
                value = lowerLimit(p) + qint64(random.generate64() % quint64(upperLimit(p) - lowerLimit(p) + 1));
                input.text = p.isHexa() ? limitHexText(p, value) : QString::number(value);
            } else if (!defaults && p.type == QLatin1String("integer")) {
                input.valueIndex = random.bounded(p.values.size());
            } else if (!defaults && p.type == QLatin1String("string")) {
                input.text.clear();
                for (quint32 i = 0; i < p.size; ++i)
                    input.text += QChar(ushort(0x20 + random.bounded(0x5F)));
            } else if (!defaults && p.type == QLatin1String("bitfield")) {
                for (bool &checked : input.bitsChecked)
                    checked = random.bounded(2) == 1;
            }
            inputs << input;
            values << value;
        }

        const QByteArray data = encodeParameters(message, inputs);
        const QByteArray frame = buildFrameBytes(message, quint8(profile.nodeType), false,
                                                 QStringLiteral("00ABCD"), QStringLiteral("123456"), data);
        const ParsedFrame parsed = parseFrameText(frameToHexText(frame));
        const QString where = profileKey(profile) + QLatin1Char('/') + message.name;
        QVERIFY2(parsed.ok() && !parsed.frameLonger, qPrintable(where));
        const MessageDecoding decoding =
            decodeMessageData(message, parsed.fields.data, parsed.frameLonger, parsed.statusText);
        QVERIFY2(decoding.statusText == QLatin1String("Frame decoded successfully."), qPrintable(where));

        int row = 0;
        for (int i = 0; i < message.parameters.size(); ++i) {
            const ParameterDefinition &p = message.parameters.at(i);
            if (!p.display)
                continue;
            QVERIFY2(row < decoding.rows.size(), qPrintable(where));
            const DecodedRow &shown = decoding.rows.at(row++);
            QCOMPARE(shown.parameterName, p.name);
            if (p.type == QLatin1String("bitfield")) {
                for (int k = 0; k < p.values.size(); ++k)
                    QVERIFY2(shown.bits.at(k).checked == inputs.at(i).bitsChecked.at(k), qPrintable(where));
            } else if (p.type == QLatin1String("string")) {
                QCOMPARE(shown.unescapedValue, inputs.at(i).text);
                QCOMPARE(shown.value, visibleText(inputs.at(i).text)); // a backslash shows doubled
            } else if (!p.values.isEmpty()) {
                QCOMPARE(shown.value, p.values.at(inputs.at(i).valueIndex).description);
            } else if (!p.isHexa()) {
                QCOMPARE(shown.value, QString::number(values.at(i)));
            } else {
                const quint32 mask = p.size >= 4 ? 0xFFFFFFFFu : (1u << (8 * p.size)) - 1;
                QVERIFY2((shown.raw & mask) == (quint32(quint64(values.at(i))) & mask),
                         qPrintable(QStringLiteral("%1 %2 set %3 shown %4").arg(where, p.name).arg(values.at(i)).arg(shown.value)));
            }
        }
        QCOMPARE(row, decoding.rows.size());
    }
};

QTEST_GUILESS_MAIN(RoundTripTest)
#include "roundtriptest.moc"
