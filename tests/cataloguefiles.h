#ifndef KWN_TESTS_CATALOGUEFILES_H
#define KWN_TESTS_CATALOGUEFILES_H

// Catalogue files and logs written and read by the test.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>

// `bytes` as the file at `path`, with the folders it needs.
inline bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return QDir().mkpath(QFileInfo(path).absolutePath()) && file.open(QIODevice::WriteOnly)
        && file.write(bytes) == bytes.size();
}

// The bytes of the file at `path`; none if it cannot be read.
inline QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// xml/p.xml under `root`: `product` (revision 1, node type 3) with `messages`.
inline bool writeProfile(const QString &root, const QByteArray &messages, const QByteArray &product = "E")
{
    return writeFile(root + QStringLiteral("/xml/p.xml"), "<profiles_def><profile product=\"" + product
                         + "\" revision=\"1\" node_type=\"3\"/>" + messages + "</profiles_def>");
}

#endif
