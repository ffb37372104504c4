#include "monitor/busfiledialog.h"

#include "widgets/settingsstore.h"

#include <QFileDialog>
#include <QFileInfo>

namespace {

const QString kLogFilter = QStringLiteral("Bus logs (*.log *.txt)");
const QString kCaptureFilter = QStringLiteral("Wireshark capture (*.pcap)");
const QString kAllFilter = QStringLiteral("All files (*)");

// Saving, a name typed without a suffix gets the suffix of the filter
// chosen (".log" unless it is the capture's), before the dialog asks
// whether to replace a file of that name.
class LogFileDialog : public QFileDialog
{
public:
    using QFileDialog::QFileDialog;

    void accept() override
    {
        if (acceptMode() == QFileDialog::AcceptSave)
            setDefaultSuffix(selectedNameFilter() == kCaptureFilter ? QStringLiteral("pcap") : QStringLiteral("log"));
        QFileDialog::accept();
    }
};

QString withSuffix(const QString &path, bool capture)
{
    if (!QFileInfo(path).suffix().isEmpty())
        return path;
    return path + (capture ? QStringLiteral(".pcap") : QStringLiteral(".log"));
}

} // namespace

QString chooseBusFile(QWidget *parent, const QString &title, bool forWriting)
{
    LogFileDialog dialog(parent, title);
    if (forWriting)
        dialog.setNameFilters({kLogFilter, kCaptureFilter, kAllFilter});
    else
        dialog.setNameFilters({QStringLiteral("Bus logs and captures (*.log *.txt *.pcap)"), kLogFilter, kCaptureFilter,
                               kAllFilter});
    // Our own dialog everywhere: the same questions (replace?) on every desktop.
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    if (forWriting) {
        dialog.setAcceptMode(QFileDialog::AcceptSave);
    } else {
        dialog.setFileMode(QFileDialog::ExistingFile);
    }
    const QString folder = lastFolder(QStringLiteral("busFiles"));
    if (!folder.isEmpty())
        dialog.setDirectory(folder);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return QString();
    const QString path = dialog.selectedFiles().constFirst();
    rememberFolderOf(QStringLiteral("busFiles"), path);
    return forWriting ? withSuffix(path, dialog.selectedNameFilter() == kCaptureFilter) : path;
}
