#ifndef KWN_TESTS_SUPPORT_DEFINITIONXML_H
#define KWN_TESTS_SUPPORT_DEFINITIONXML_H

// Definitions as tables write them: the XML of a catalogue file, read by the
// catalogue's own reader; and frames of the device of such a catalogue.

#include "catalogue/catalogue.h"
#include "codec/frame.h"

// Message "M" (identifier 0x51) of the given parameter elements; none for
// "unknown".
inline MessageDefinition messageOf(const QString &parameters)
{
    if (parameters == QLatin1String("unknown"))
        return MessageDefinition();
    return readMessageData("<m><message name=\"M\" msg_id=\"51\" description=\"Moves\">" + parameters.toUtf8()
                           + "</message></m>")
        .value(QStringLiteral("M"));
}

inline ParameterDefinition parameterOf(const QString &xml)
{
    return messageOf(xml).parameters.value(0);
}

// The frame that device 3 (of cataloguefiles.h's writeProfile) sends from
// `source` to node 000001.
inline QByteArray deviceFrame(quint8 messageId, const QByteArray &data, quint32 source = 0x00A1B2,
                              quint8 nodeType = 3)
{
    return packFrame(messageId, false, quint8(data.size() + kFrameOverheadBytes), nodeType, 0, source, 0x000001, data);
}

#endif
