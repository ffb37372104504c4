#ifndef KWN_CLI_COMMANDS_H
#define KWN_CLI_COMMANDS_H

// The subcommands of kwn-frame. Each takes its own arguments (the subcommand
// name removed) and returns the process exit status:
// 0 success, 1 a refused input or a finding/error, 2 a usage error.

#include "catalogue/definitions.h"

#include <QByteArray>
#include <QCommandLineParser>
#include <QString>
#include <QStringList>
#include <QVector>

#include <cstdio>

constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

int runDecode(const QStringList &arguments);
int runEncode(const QStringList &arguments);
int runList(const QStringList &arguments);
int runCheck(const QStringList &arguments);
int runMonitor(const QStringList &arguments);
int runSend(const QStringList &arguments);
int runStats(const QStringList &arguments);
int runReplay(const QStringList &arguments);
int runConvert(const QStringList &arguments);
int runDissector(const QStringList &arguments);
int runFilter(const QStringList &arguments);
int runReplies(const QStringList &arguments);

// Shared by the subcommands.
namespace cli {

// Adds --xml and --help to a subcommand's parser.
void addCommonOptions(QCommandLineParser &parser);

// Parses `arguments` (without the program and subcommand names). On --help
// prints `help` and returns kExitOk through `status`; on a parse error prints
// it with the usage line and returns kExitUsage through `status`. Returns
// whether the command should go on.
bool parseArguments(QCommandLineParser &parser, const QStringList &arguments,
                    const QString &usage, const QString &help, int *status);

// The catalogue folder: --xml, else "xml" in the current directory.
QString catalogueFolder(const QCommandLineParser &parser);

int usageError(const QString &message, const QString &usage);

// The revisions of `device` in the catalogue. When it has none, says so on
// standard error and gives the empty list.
QStringList deviceRevisions(const ProfileMap &profiles, const QString &device);

// The profile of `device` at the revision --revision names, else at its
// first. Says on standard error what the catalogue lacks and returns false
// when there is no such device or revision.
bool findDeviceProfile(const ProfileMap &profiles, const QString &device, const QCommandLineParser &parser,
                       ProfileDefinition *profile);

// The options of encode (without --xml and --help), and the frame they build
// with the NAME=VALUE `assignments`. Returns kExitOk with the frame, or the
// exit status after printing what is wrong.
void addEncodeOptions(QCommandLineParser &parser);
int encodeFrame(const QCommandLineParser &parser, const QStringList &assignments, const QString &usage,
                QByteArray *frame);

// Text tables: a row padded to the columns' widths, two spaces apart, the
// last cell left as it is, with its line end; widths made to fit a row;
// and rows padded to their widest cells.
QString alignedLine(const QStringList &row, const QVector<int> &widths);
void widen(QVector<int> &widths, const QStringList &row);
QString alignedTable(const QVector<QStringList> &rows);

void writeOut(const QString &text);
void writeErr(const QString &text);

} // namespace cli

#endif
