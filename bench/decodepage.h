#ifndef KWN_BENCH_DECODEPAGE_H
#define KWN_BENCH_DECODEPAGE_H

// The Decode page on the catalogue of a working folder, shown in a widget as
// the main window shows it, for the GUI benchmarks.

#include "decoder/debuilderlayout.h"

#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QVBoxLayout>
#include <QWidget>

struct DecodePage
{
    explicit DecodePage(const QString &workingDir)
    {
        QDir::setCurrent(workingDir);
        panel = new DebuilderLayout(nullptr);
        widget.setLayout(panel->getLayout());
        widget.resize(515, 560);
        widget.show();
        input = widget.findChild<QLineEdit *>(QStringLiteral("LineEditInputFrame"));
        status = widget.findChild<QLineEdit *>(QStringLiteral("LineEditStatus"));
        QApplication::processEvents();
    }
    ~DecodePage() { delete panel; }

    // Replaces the text as a paste does (one edit), then lets the page lay
    // itself out and paint. Includes what QLineEdit itself does with the text.
    void edit(const QString &text)
    {
        input->selectAll();
        input->insert(text);
        QApplication::processEvents();
    }

    // Only the page's own work for one edit: the slot that the edit runs.
    void decode(const QString &text)
    {
        QMetaObject::invokeMethod(panel, "on_LineEditInputFrame_Edited", Q_ARG(QString, text));
    }

    QWidget widget;
    DebuilderLayout *panel = nullptr;
    QLineEdit *input = nullptr;
    QLineEdit *status = nullptr;
};

#endif
