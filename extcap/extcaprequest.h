#ifndef KWN_EXTCAP_EXTCAPREQUEST_H
#define KWN_EXTCAP_EXTCAPREQUEST_H

// What Wireshark asks of kwn-extcap, its capture program for the bus, and
// the sentences it answers the questions with. Wireshark runs the program
// once per question: the interfaces (with the toolbar's controls), the link
// type of an interface, its capture options, the values of an option again,
// and then the capture itself with the options chosen. See `man 4 extcap`.

#include "serial/serialconnection.h"

#include <QString>
#include <QStringList>

namespace extcap {

// The one interface: the bus on a serial port.
inline const QString kInterface = QStringLiteral("kwn");

// The toolbar's controls, by their number: a frame text, the button that
// sends it, and the log that says what became of it.
enum Control : quint8 { ControlFrame = 0, ControlSend = 1, ControlLog = 2 };

struct Request
{
    enum Step { Interfaces, LinkTypes, Config, ReloadOption, Capture, Help, Version };

    Step step = Help;
    QString reloadOption;   // the option whose values are asked for again
    SerialSettings settings; // the port and its line, for a capture
    QString fifo;           // where the capture goes
    QString controlIn;      // the toolbar's pipes, when Wireshark shows one
    QString controlOut;
    // Why the arguments ask for nothing that can be done; empty when they do.
    QString problem;
};

// The arguments after the program's name.
Request parseRequest(const QStringList &arguments);

// The answers: the interface and its controls; its link type (USER0); its
// options, with the ports found (names as SerialConnection lists them) to
// pick from; the values of one option again.
QString interfacesText(const QString &version);
QString linkTypesText();
QString configText(const QStringList &ports);
QString reloadText(const QString &option, const QStringList &ports);

QString helpText();

} // namespace extcap

#endif
