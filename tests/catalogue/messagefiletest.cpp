// The readers of message and profile files, files read afresh when edited,
// the quick ways through plain XML read as the parser and the DOM reader do,
// and loading a catalogue folder: which files count, the lookups, merging,
// hostile files and a file swapped for a pipe while it is read.

#include "catalogue/catalogue.h"
#include "cataloguefiles.h"
#include "support/boundedrun.h"
#include "support/datarows.h"

#include <QTemporaryDir>
#include <QXmlStreamReader>

#include <sys/stat.h>

namespace {

QByteArray profileXml(const QByteArray &product, const QByteArray &revision, int nodeType,
                      const QByteArray &messages = QByteArray())
{
    return "<profiles_def><profile product=\"" + product + "\" revision=\"" + revision + "\" node_type=\""
        + QByteArray::number(nodeType) + "\" standard_msg=\"/std/std.xml\" standard_motor_msg=\"/std/motor.xml\"/>"
        + messages + "</profiles_def>";
}

// What the quick check calls well-formed (`plain`) the parser reads, with the
// same first "profile" attributes; the quick message reader gives what the DOM
// reader does.
void checkAgreement(const QByteArray &xml, bool *plain = nullptr)
{
    QVector<QPair<QByteArray, QByteArray>> attributes, parsed;
    bool found = false, seen = false;
    const bool isPlain = plainXmlCheck(xml, "profile", &attributes, &found);
    if (plain)
        *plain = isPlain;
    if (isPlain) {
        QVERIFY2(scanDefinitionXml(xml, [&](const QXmlStreamReader &reader) {
                     if (seen || reader.qualifiedName() != QLatin1String("profile"))
                         return;
                     seen = true;
                     for (const QXmlStreamAttribute &a : reader.attributes())
                         parsed.append({a.qualifiedName().toUtf8(), a.value().toUtf8()});
                 }),
                 xml.constData());
        QVERIFY2(!found || attributes == parsed, xml.constData());
    }
    MessageMap quick;
    if (readPlainMessageData(xml, &quick))
        QVERIFY2(quick == readMessageDataThroughDom(xml), xml.constData());
}

// A plain profile file, in the shape of the bundled ones.
const QByteArray kPlain = readFile(QStringLiteral(KWN_TEST_DATA "/catalogue/plain-profile.xml"));

// The fields that differ from an attribute-less parameter's; "s:"/"u:" give signed/unsigned min, max, default.
QString changes(const ParameterDefinition &p)
{
    QStringList c;
    for (const QPair<bool, QString> &field : QList<QPair<bool, QString>>{
             {p.optional, "optional=1"}, {!p.display, "display=0"}, {!p.type.isEmpty(), "type=" + p.type},
             {p.sign != "unsigned", "sign=" + p.sign}, {p.inputFormat != "decimal", "format=" + p.inputFormat},
             {p.size != 0, "size=" + QString::number(p.size)}})
        if (field.first)
            c << field.second;
    const QString limits = QStringLiteral("s:%1,%2,%3 u:%4,%5,%6").arg(p.minSigned).arg(p.maxSigned)
                               .arg(p.defaultSigned).arg(p.minUnsigned).arg(p.maxUnsigned).arg(p.defaultUnsigned);
    if (limits != QLatin1String("s:0,0,0 u:0,0,0"))
        c << limits;
    return c.join(' ');
}

} // namespace

class MessageFileTest : public QObject
{
    Q_OBJECT

private slots:
    void parameter_data() { addDataRows(QStringLiteral("catalogue/parameters.txt")); }
    void parameter()
    {
        QFETCH(QStringList, row);
        const MessageMap map = readMessageData("<m><message name=\"M\"><p " + row[0].toUtf8() + "/></message></m>");
        QCOMPARE(changes(map.value("M").parameters.value(0)), row[1]);
    }

    // Hexadecimal with "0x", else decimal; each field keeps the low 32 bits of its 64-bit reading.
    void namedValues()
    {
        QByteArray values;
        for (const char *text : {"-1", "0xFF", "0xFFFFFFFF", "0x100000005", "0xFFFFFFFFFFFFFFFF", "4294967296", "1F"})
            values += "<v value=\"" + QByteArray(text) + "\"/>";
        QStringList read;
        for (const ValueDefinition &v : readMessageData("<m><message name=\"M\"><p>" + values + "</p></message></m>")
                                            .value("M").parameters.value(0).values)
            read << QStringLiteral("%1/%2").arg(v.unsignedValue).arg(v.signedValue);
        QCOMPARE(read, QStringList({"0/-1", "255/255", "4294967295/-1", "5/5", "4294967295/0", "0/0", "0/0"}));
    }

    void messages_data() { addDataRows(QStringLiteral("catalogue/messages.txt")); }
    void messages()
    {
        QFETCH(QStringList, row);
        QStringList messages;
        for (const MessageDefinition &m : readMessageData(row[0].toUtf8()))
            messages << m.name + '/' + QString::number(m.msgId, 16) + (m.nodeMode == NodeMode::Slave ? "/slave" : "");
        QCOMPARE(messages.join(QLatin1String("; ")), row[1]);
    }

    // Every child node is a parameter or a value, comments and text included;
    // whitespace between elements is none. A later message replaces one of the same name.
    void childNodes()
    {
        const MessageMap map = readMessageData(
            "<?xml version=\"1.0\"?>\n<message_def>\n<message name=\"Spaced\" msg_id=\"1\"><p/></message>\n"
            "<message name=\"M\" category=\"Status\" description=\"A &amp; B\" addressingMode=\"P2P GROUP\">\n"
            "  <p name=\"first\" description=\"d\"><v value=\"1\" description=\"one\"/> <!-- n --> <v value=\"2\"/></p>\n"
            "  <!-- between parameters -->\n  <anything name=\"second\"/>text</message>\n"
            "<message name=\"Spaced\">\n   \n  </message>\n</message_def>\n");
        QCOMPARE(map.keys(), QStringList({"M", "Spaced"}));
        QCOMPARE(map.value("Spaced"), (MessageDefinition{"Spaced", "", 0, "", "", {}, NodeMode::Master}));
        const MessageDefinition m = map.value("M");
        QCOMPARE(QStringList({m.category, m.description, m.addressingMode}), QStringList({"Status", "A & B", "P2P GROUP"}));
        QCOMPARE(m.parameters.size(), 4);
        QCOMPARE(QString(m.parameters.at(0).description + m.parameters.at(2).name), QStringLiteral("dsecond"));
        QCOMPARE(QString(changes(m.parameters.at(1)) + changes(m.parameters.at(3))), QString());
        QCOMPARE(m.parameters.at(0).values, QList<ValueDefinition>({{1, 1, "one"}, {}, {2, 2, ""}}));
    }

    void fileReading()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("edit.xml");
        auto write = [&path](const QByteArray &bytes) {
            QFile out(path); // rewritten in place: same inode, same size
            QVERIFY(out.open(QIODevice::ReadWrite));
            out.write(bytes);
        };
        const QByteArray first = "<m><message name=\"A\" msg_id=\"11\"/></m>";
        write(first);
        QCOMPARE(MessageDefinitionFile(path).messages, readMessageData(first));
        // A cached file edited within the same second, to the same size, is read afresh.
        write("<m><message name=\"B\" msg_id=\"22\"/></m>");
        QCOMPARE(readMessageFile(path).messages.keys(), QStringList{"B"});
        QFile::remove(path);
        QVERIFY(readMessageFile(path).messages.isEmpty());
        // Read as bytes, not text: U+010D is 0D 01 in UTF-16LE, and text mode would drop the 0D.
        const QString text = QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-16\"?>\r\n<m>\r\n"
                                            "<message name=\"Ko\u010Dka\"/>\r\n<message name=\"Z\"/>\r\n</m>\r\n");
        write(QByteArray("\xFF\xFE", 2) + QByteArray(reinterpret_cast<const char *>(text.utf16()), text.size() * 2));
        QCOMPARE(readMessageFile(path).messages.keys(), QStringList({QStringLiteral("Ko\u010Dka"), "Z"}));
    }

    void profile_data() { addDataRows(QStringLiteral("catalogue/profiles.txt")); }
    void profile()
    {
        QFETCH(QStringList, row);
        const ProfileDefinition p = readProfileData(row[0].toUtf8(), "/d/x/p.xml");
        QCOMPARE(QStringList({p.product, p.revision, QString::number(p.nodeType), p.standardMsgPath.mid(3),
                              p.standardMotorMsgPath.mid(3)}).join('/'), unescaped(row[1]));
        QCOMPARE(p.filePath, QStringLiteral("/d/x/p.xml"));
    }

    void documents_data()
    {
        addDataRows(QStringLiteral("catalogue/plaindocuments.txt"));
        const QString deep = QStringLiteral("<a>").repeated(kMaxDefinitionDepth)
            + QStringLiteral("</a>").repeated(kMaxDefinitionDepth);
        QTest::newRow("plain profile file") << QStringList{"@catalogue/plain-profile.xml", "1"};
        QTest::newRow("deepest allowed") << QStringList{deep, "1"};
        QTest::newRow("one level too deep") << QStringList{"<b>" + deep + "</b>", "0"};
    }
    void documents()
    {
        QFETCH(QStringList, row);
        bool plain = false;
        checkAgreement(unescapedBytes(row[0]), &plain);
        QCOMPARE(plain, row[1] == "1");
    }

    void messageReaders_data()
    {
        addDataRows(QStringLiteral("catalogue/messagereaders.txt"));
        const QString deep = "<message_def><message name=\"M\">" + QStringLiteral("<p>").repeated(kMaxDefinitionDepth - 2)
            + QStringLiteral("</p>").repeated(kMaxDefinitionDepth - 2);
        QTest::newRow("deepest allowed") << QStringList{deep + "</message></message_def>", "1", "1"};
        QTest::newRow("too deep") << QStringList{"<d>" + deep + "<p/></message></message_def></d>", "0", "0"};
    }
    void messageReaders()
    {
        QFETCH(QStringList, row);
        const QByteArray xml = unescapedBytes(row[0]);
        MessageMap read;
        QCOMPARE(readPlainMessageData(xml, &read), row[1] == "1");
        const MessageMap dom = readMessageDataThroughDom(xml);
        QCOMPARE(dom.size(), row[2].toInt());
        if (row[1] == "1")
            QCOMPARE(read, dom);
        QCOMPARE(readMessageData(xml), dom);
    }

    // Every one-byte deletion and many one-byte insertions in a plain file:
    // the quick ways and the slow ones agree on each.
    void mutationsAgree()
    {
        const QByteArray inserts = "<>&\"'/-!?= ]#;x\t\n\x01\xC3\xBF";
        QVERIFY(kPlain.contains("profile product="));
        for (int i = 0; i <= kPlain.size(); ++i) {
            if (i < kPlain.size())
                checkAgreement(QByteArray(kPlain).remove(i, 1));
            for (char c : inserts)
                checkAgreement(QByteArray(kPlain).insert(i, c));
            if (QTest::currentTestFailed())
                return;
        }
    }

    void scan()
    {
        QTemporaryDir root;
        const QString dir = root.path() + "/xml";
        QVector<QPair<QString, QByteArray>> files{
            {"/A.XML", profileXml("Upper", "1", 1, "<message name=\"Own\"/>")},
            {"/b.xml", profileXml("A_B", "C", 2)}, // shares the key A_B_C with
            {"/c.xml", profileXml("A", "B_C", 3)}, // this one, read later
            {"/d.xml", "<message_def><message name=\"M\"/></message_def>"},
            {"/e.xml", "<profiles_def><profile product=\"Broken\""}, // read after d.xml
            {"/../elsewhere/target.txt", profileXml("Linked", "1", 8)}};
        for (const char *name : {"c.xml.bak", "exml", ".hidden.xml", "sub.xml/inner.xml"})
            files.append({QStringLiteral("/") + name, profileXml("Skipped", name, 9)});
        for (const auto &file : files)
            QVERIFY(writeFile(dir + file.first, file.second));
        QVERIFY(QFile::link(root.path() + "/elsewhere/target.txt", dir + "/link.xml"));
        QVERIFY(QFile::link(root.path() + "/elsewhere", dir + "/folderlink.xml"));
        QVERIFY(QFile::link(root.path() + "/nothing-here", dir + "/broken.xml"));
        // Reading a pipe or a device would never end; a folder named like a file names nothing.
        QVERIFY(QDir().mkpath(dir + "/std/motor.xml") && QFile::link("/dev/zero", dir + "/zero.xml"));
        QCOMPARE(::mkfifo(QFile::encodeName(dir + "/pipe.xml").constData(), 0600), 0);
        QCOMPARE(::mkfifo(QFile::encodeName(dir + "/std/std.xml").constData(), 0600), 0);
        const ProfileMap map = loadProfiles(dir);
        QCOMPARE(map.keys(), QStringList({"A_B_C", "Linked_1", "Upper_1", "_"}));
        QCOMPARE(productNames(map), QStringList({"", "A", "Linked", "Upper"}));
        QCOMPARE(map.value("A_B_C").nodeType, 3u);
        QCOMPARE(map.value("_"), ProfileDefinition());
        QCOMPARE(map.value("Linked_1").filePath, dir + "/link.xml");
        QCOMPARE(map.value("Linked_1").standardMsgPath, dir + "/std/std.xml");
        QCOMPARE(messagesOfProfile(map.value("Upper_1"), false).keys(), QStringList{"Own"});
        QVERIFY(loadProfiles(root.path() + "/none").isEmpty() && messagesOfProfile(ProfileDefinition(), false).isEmpty());
    }

    // Texts compare by code unit; among profiles of one node type the greatest key wins.
    void lookups()
    {
        ProfileMap map;
        for (const ProfileDefinition &p : QList<ProfileDefinition>{
                 {"", "Lumen Relay", "2", 3, "", ""}, {"", "Lumen Relay", "10", 5, "", ""},
                 {"", "Lumen Relay", "a", 9, "", ""}, {"", "lumen relay", "1", 5, "", ""}, {"", "Z", "1", 9, "", ""},
                 {"", "", "", 9, "", ""}, {"", "R", "1", 257, "", ""}})
            map.insert(profileKey(p), p);
        QCOMPARE(productNames(map), QStringList({"", "Lumen Relay", "R", "Z", "lumen relay"}));
        QCOMPARE(revisionsOf(map, "Lumen Relay"), QStringList({"10", "2", "a"}));
        QCOMPARE(findProfile(map, "Lumen Relay", "10").nodeType, 5u);
        QCOMPARE(findProfile(map, "Lumen Relay", "2 "), ProfileDefinition());
        QCOMPARE(findProfile(map, "Lumen", "Relay_2"), ProfileDefinition());
        QCOMPARE(revisionsByProduct(map).keys(), productNames(map));
        QCOMPARE(revisionsByProduct(map).value("Lumen Relay"), revisionsOf(map, "Lumen Relay"));
        // "A_B" "C" and "A" "B_C" share the key "A_B_C": only the record filed there is found.
        map.insert("A_B_C", {"", "A_B", "C", 4, "", ""});
        QCOMPARE(findProfile(map, "A_B", "C").nodeType, 4u);
        QCOMPARE(findProfile(map, "A", "B_C"), ProfileDefinition());
        QCOMPARE(productForNodeType(map, 5), QStringLiteral("lumen relay"));
        QCOMPARE(productForNodeType(map, 9), QString()); // "_" sorts after "Z_1"
        QCOMPARE(productForNodeType(map, 1), QString()); // 257 is not 1
        const MessageMap messages =
            readMessageData("<m><message name=\"alpha\" msg_id=\"30\"/><message name=\"Zeta\" msg_id=\"30\"/></m>");
        QCOMPARE(messageById(messages, 0x30).name, QStringLiteral("Zeta")); // first by code unit
        QCOMPARE(messageById(messages, 0x31), MessageDefinition());
    }

    // The messages of a profile of tests/data/catalogue/merge/: its own
    // replace motor ones, motor ones standard ones; left out (the Encode
    // page), slave ones replace nothing.
    void merge()
    {
        const ProfileMap map = loadProfiles(QStringLiteral(KWN_TEST_DATA "/catalogue/merge"));
        QStringList read;
        const QList<QPair<QString, bool>> profiles{{"P", false}, {"No motor file", false}, {"P", true}};
        for (const QPair<QString, bool> &profile : profiles) {
            for (const MessageDefinition &m : messagesOfProfile(findProfile(map, profile.first, "1"), profile.second))
                read << m.name + '=' + QString::number(m.msgId);
            read << QStringLiteral("|");
        }
        QCOMPARE(read.join(' '), "Own=6 Report=3 Shared=4 Slave=8 Std=7 | Own=6 Report=3 Shared=1 Slave=8 Std=7 | "
                                 "Own=6 Shared=4 Std=2 |");
    }

    // Hostile files give what they can use, else nothing, without a crash, a hang or a memory blow-up.
    void hostile_data()
    {
        addDataRows(QStringLiteral("catalogue/hostile.txt"));
        QTest::newRow("over the file limit")
            << QStringList{"<message_def><!--" + QString(kMaxDefinitionFileBytes, ' ') + "--></message_def>", ""};
        // The root counts as one level; the message is the deepest element.
        for (int depth : {kMaxDefinitionDepth, kMaxDefinitionDepth + 1})
            QTest::addRow("%d levels", depth) << QStringList{"<message_def>" + QStringLiteral("<g>").repeated(depth - 2)
                                                                 + "<message name=\"M\"/>" + QStringLiteral("</g>").repeated(depth - 2)
                                                                 + "</message_def>",
                                                             depth <= kMaxDefinitionDepth ? "M" : ""};
    }
    void hostile()
    {
        QFETCH(QStringList, row);
        const QByteArray bytes = unescapedBytes(row[0]);
        const QStringList messages = row[1].split(QLatin1String("; "), Qt::SkipEmptyParts);
        QTemporaryDir dir;
        QVERIFY(writeFile(dir.filePath("p.xml"), bytes));
        QCOMPARE(readMessageData(bytes).keys(), messages);
        // In a folder it becomes the "_" profile, with its messages when it is well-formed.
        const ProfileMap map = loadProfiles(dir.path());
        QVERIFY(map.keys() == QStringList{"_"} && map.first().nodeType == 0);
        QCOMPARE(messagesOfProfile(map.first(), false).keys(), messages);
    }

    // A pipe and a file take turns at the name of a definition file while it
    // is read over and over: no read may wait for a writer of the pipe.
    void pipeSwappedInWhileReading()
    {
        QTemporaryDir root;
        const QByteArray name = QFile::encodeName(root.filePath("a.xml")), pipe = QFile::encodeName(root.filePath("pipe")),
                         regular = QFile::encodeName(root.filePath("regular")), spare = QFile::encodeName(root.filePath("spare"));
        QVERIFY(writeFile(root.filePath("regular"), profileXml("P", "1", 1)));
        QCOMPARE(::mkfifo(pipe.constData(), 0600), 0);
        QCOMPARE(::link(regular.constData(), name.constData()), 0);
        std::atomic<bool> stop{false};
        std::thread swapper([&] {
            for (bool usePipe = true; !stop; usePipe = !usePipe) {
                if (::link(usePipe ? pipe.constData() : regular.constData(), spare.constData()) == 0)
                    ::rename(spare.constData(), name.constData());
            }
        });
        int files = 0;
        const bool returned = returnsInTime([&] {
            QElapsedTimer time;
            time.start();
            for (bool ok = false; time.elapsed() < 1000; files += ok ? 1 : 0)
                readDefinitionBytes(root.filePath("a.xml"), &ok);
        }, pipe);
        stop = true;
        swapper.join();
        QVERIFY2(returned, "a read waited for a writer of the pipe");
        QVERIFY(files > 0);
    }

    // The sample catalogue: one product per node type, message identifiers unique within a profile.
    void bundledSample()
    {
        const ProfileMap map = loadProfiles(QStringLiteral(KWN_SOURCE_DIR "/xml"));
        QVERIFY(productNames(map).size() >= 3 && !productNames(map).contains(QString()));
        for (const ProfileDefinition &p : map) {
            QVERIFY2(p.nodeType <= 15 && productForNodeType(map, quint8(p.nodeType)) == p.product, qPrintable(p.product));
            QVERIFY(QFile::exists(p.standardMsgPath) && QFile::exists(p.standardMotorMsgPath));
            const MessageMap all = messagesOfProfile(p, false);
            for (const MessageDefinition &m : messagesOfProfile(p, true))
                QVERIFY2(messageById(all, m.msgId).name == m.name && !m.category.isEmpty(), qPrintable(m.name));
        }
    }
};

QTEST_GUILESS_MAIN(MessageFileTest)
#include "messagefiletest.moc"
